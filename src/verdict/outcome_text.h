// Short texts for a document's outcome that several output forms share.
#ifndef XSLVALIDATE_VERDICT_OUTCOME_TEXT_H_
#define XSLVALIDATE_VERDICT_OUTCOME_TEXT_H_

#include <string>

#include "verdict/result.h"

// "completed", "failed" or "not run".
const char* runName(RunState run);

// "not asked", "valid", "invalid", "failed" or "unsupported".
const char* schemaStateName(SchemaState state);

// "accepted", "rejected" or "no verdict".
const char* verdictName(Verdict verdict);

// A finding on one line: "<severity> <rule id> at <location>: <message>"
// for a rule's finding ("(no id)" when it has none), "<severity> line L,
// column C: <message>" for a schema finding (each part only when known).
// Every field made one line of text: the message as oneLine
// (summary_line.h) gives it, the others as `visible` does, so no report
// can add a line to a list of them.
std::string findingLine(const FindingRecord& finding);

#endif  // XSLVALIDATE_VERDICT_OUTCOME_TEXT_H_
