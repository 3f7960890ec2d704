#include "verdict/source_lines.h"

bool engineGivesSourceLines() { return false; }
