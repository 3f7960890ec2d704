// The Linux engine validates XML Schemas in its JVM.
#include "verdict/schema_support.h"

bool hostValidatesSchemas() { return true; }
