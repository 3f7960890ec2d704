// The Linux engine validates XML Schemas in its JVM (the engine library's
// schema step); there is no validator besides it.
#include "verdict/schema_support.h"

bool hostHasOwnSchemaValidator() { return false; }

void validateWithHostSchemas(std::u16string_view, const std::vector<std::u16string>&,
                             SchemaRecord* record) {
  record->state = SchemaState::kFailed;
  record->problem = "this host validates XML Schemas in its engine only";
}
