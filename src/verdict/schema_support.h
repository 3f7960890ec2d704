// How this host validates a document against XML Schemas: in the engine
// (Linux, the engine library's schema step) or with a validator of the
// host's own (Windows, MSXML 6, since the Windows engine runs transforms
// only).
#ifndef XSLVALIDATE_VERDICT_SCHEMA_SUPPORT_H_
#define XSLVALIDATE_VERDICT_SCHEMA_SUPPORT_H_

#include <string>
#include <string_view>
#include <vector>

#include "verdict/result.h"

// True where the host's own validator does the schema step
// (validateWithHostSchemas); false where the engine does.
bool hostHasOwnSchemaValidator();

// Validates `document` against `schemas`, taken together as one schema
// set, with the host's own validator, into `record`: kValid, or kInvalid
// with one finding per problem the validator reports (kind "schema", line
// and column where it gives them, 0 where not), or kFailed with the
// problem when a schema cannot be loaded or the validator is missing. Only
// where hostHasOwnSchemaValidator() is true.
void validateWithHostSchemas(std::u16string_view document,
                             const std::vector<std::u16string>& schemas,
                             SchemaRecord* record);

#endif  // XSLVALIDATE_VERDICT_SCHEMA_SUPPORT_H_
