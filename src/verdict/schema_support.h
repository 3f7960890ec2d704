// Whether this host's engine can validate a document against XML Schemas.
#ifndef XSLVALIDATE_VERDICT_SCHEMA_SUPPORT_H_
#define XSLVALIDATE_VERDICT_SCHEMA_SUPPORT_H_

// True on Linux, where the engine validates schemas; false on Windows,
// where a scenario that asks for a schema gets no verdict.
bool hostValidatesSchemas();

#endif  // XSLVALIDATE_VERDICT_SCHEMA_SUPPORT_H_
