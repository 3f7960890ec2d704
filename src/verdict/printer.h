// The verdict's output, as text for a person or as one JSON document,
// written to standard output piece by piece as the findings are read.
#ifndef XSLVALIDATE_VERDICT_PRINTER_H_
#define XSLVALIDATE_VERDICT_PRINTER_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "verdict/result.h"
#include "verdict/summary_line.h"

// Where the output stands; made by the caller, passed to every call.
struct Printer {
  bool json = false;
  bool firstRuleSet = true;
  bool findingsOpen = false;   // beginFindings was called for this rule set
  bool firstFinding = true;
};

// The calls come in this order: beginDocument; per rule set beginRuleSet,
// then beginFindings and printFinding for each finding when its report was
// read, then endRuleSet; finally endDocument. Paths and texts are UTF-8
// and are written unchanged in text output, escaped in JSON.
void beginDocument(Printer* printer, std::string_view document,
                   bool warningsAsErrors);
void beginRuleSet(Printer* printer, std::string_view stylesheet,
                  std::string_view report, RunState run, int runStatus);
void beginFindings(Printer* printer, const SummaryHead& head);
void printFinding(Printer* printer, const Finding& finding,
                  const std::string& severity);
// `problem` is empty when the rule set's report was read as SVRL.
void endRuleSet(Printer* printer, const Counts& counts,
                std::string_view problem);
// `reason` says why there is no verdict; `rejecting` counts the findings
// that reject the document.
void endDocument(Printer* printer, std::string_view document, Verdict verdict,
                 long long rejecting, std::string_view reason);

#endif  // XSLVALIDATE_VERDICT_PRINTER_H_
