// Host grammar for Windows hosts: the grammar of spec Part 1.2.
#include "path/path_text.h"

PathGrammar hostGrammar() { return PathGrammar::Windows; }
