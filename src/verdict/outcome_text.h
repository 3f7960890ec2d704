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

// Where a finding is, for a reader: "line L, column C" when its line is
// known (schema findings, and rule findings once followed on the
// document), else the rule's location path as the report wrote it, else
// empty. Made one line as `visible` makes it.
std::string findingPlace(const FindingRecord& finding);

// A finding on one line: "<severity> <rule id> at <place>: <message>" for
// a rule's finding ("(no id)" when it has none), "<severity> at <place>:
// <message>" for a schema finding, the place as findingPlace gives it and
// left out when empty.
// Every field made one line of text: the message as oneLine
// (summary_line.h) gives it, the others as `visible` does, so no report
// can add a line to a list of them.
std::string findingLine(const FindingRecord& finding);

#endif  // XSLVALIDATE_VERDICT_OUTCOME_TEXT_H_
