// Host grammar for POSIX hosts (Linux): "/" is the only separator.
#include "path/path_text.h"

PathGrammar hostGrammar() { return PathGrammar::Posix; }
