// The Windows engine runs transforms only; it has no schema validator.
#include "verdict/schema_support.h"

bool hostValidatesSchemas() { return false; }
