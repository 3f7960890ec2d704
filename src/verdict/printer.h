// The verdict's output for one document: text for a person, or one JSON
// document for a program, rendered from the document's record.
#ifndef XSLVALIDATE_VERDICT_PRINTER_H_
#define XSLVALIDATE_VERDICT_PRINTER_H_

#include <string>

#include "verdict/result.h"

// The text form: the matched scenario and the schema step when there is
// one, per rule set "<stylesheet> -> <report>", one line per finding and a
// counts line (or why the rule set gives no verdict), and last the verdict
// line. Every field is on its line with control characters made visible,
// so no text from a report can forge a line or reach the terminal.
std::string textOutput(const DocumentResult& result);

// The JSON form, ending in a line end. Texts are escaped as JSON strings;
// fields a record leaves out are null.
std::string jsonOutput(const DocumentResult& result);

// The JSON form on one line, ending in a line end: a line of JSON Lines,
// the form of --json for a batch, with the same fields as jsonOutput.
std::string jsonLine(const DocumentResult& result);

#endif  // XSLVALIDATE_VERDICT_PRINTER_H_
