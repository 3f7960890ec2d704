// One document's outcome as one line of JSON, the form of --json when a
// call checks a batch (JSON Lines: one such line per document, in input
// order). The fields are those of the single-document JSON, plus the
// scenario, the schema step and what the engine wrote; doc/verdict-batch.md
// lists them.
#ifndef XSLVALIDATE_VERDICT_JSON_LINE_H_
#define XSLVALIDATE_VERDICT_JSON_LINE_H_

#include <string>

#include "verdict/result.h"

// The line, ending "\n", holding no other line end.
std::string documentJsonLine(const DocumentResult& result);

#endif  // XSLVALIDATE_VERDICT_JSON_LINE_H_
