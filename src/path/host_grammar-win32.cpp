// Host grammar for Windows hosts: the Windows path grammar.
#include "path/path_text.h"

PathGrammar hostGrammar() { return PathGrammar::Windows; }
