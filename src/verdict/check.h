// Checking one document: choose its scenario, run the XML Schema step and
// the rule sets through the engine, read every report, and give the
// outcome as a record (result.h). Printing is left to the caller.
#ifndef XSLVALIDATE_VERDICT_CHECK_H_
#define XSLVALIDATE_VERDICT_CHECK_H_

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/bridge.h"
#include "verdict/result.h"

struct ScenarioSet;  // scenarios.h: a scenario configuration as read

// What every document of one call is checked against; fixed for the call.
struct CheckPlan {
  std::vector<std::u16string> ruleSets;  // named by hand; used when `configurations` is empty
  // Scenario configurations in the order given: the first scenario that
  // matches, over them in this order, checks the document.
  std::vector<const ScenarioSet*> configurations;
  bool warningsAsErrors = false;
  // The configuration's validation report of each document: its name is
  // <prefix><document name without extension>-report<postfix>.xml, and with
  // `keepReportInput` its input is kept beside it as ...-report<postfix>-input.xml.
  std::u16string reportPrefix, reportPostfix;
  bool keepReportInput = false;
  // -h: where the configuration's report is also written as HTML; in
  // practice the report folder, so the HTML lies beside the report.
  std::u16string htmlDir;
  // Whether each rule set's SVRL report is kept under its report name
  // (rule sets by hand, and --svrl); otherwise it is written and read in
  // the worker's scratch folder and removed there.
  bool keepRuleSetReports = true;
  // Whether each result also gets what the page shows of the document
  // (page_facts.h): one more engine run per document, for --html only.
  bool pageFacts = false;
};

// Where the verdict's own stylesheets (bundled_stylesheets.h) are run
// from for one call or one service: placed once, before any worker checks,
// and only read after that, by every worker alike. The engine server keeps
// a compile by its stylesheet's path, so one place for all workers means
// one compile of each.
struct BundledPlaces {
  std::u16string summary, contexts, reportInput, explanation, page;
  std::string problem;  // why they could not be placed; empty when they were
};

// Places every bundled stylesheet: keptStylesheet's file where there is
// one (shared with this user's other calls), else a copy in `folder`,
// which the caller keeps for as long as `places` is used and removes
// after. Sets `places->problem` when a copy could not be written.
void placeBundledStylesheets(std::u16string_view folder, BundledPlaces* places);

// One worker's engine connection and private scratch folder. A worker
// checks one document at a time; several workers may check at once, each
// on its own thread, with the same bundled stylesheets.
struct CheckWorker {
  EngineEnvironment* environment = nullptr;
  std::u16string scratch;
  const BundledPlaces* bundled = nullptr;  // the call's; set before the first check
  // Per rule set by hand: the namespaces its rules' contexts name (empty
  // when they name none), or nullopt when the rule set could not be read
  // as XML; worked out once per worker.
  std::map<std::u16string, std::optional<std::vector<std::string>>> ruleContexts;
  // The name the next document's validation report gives it as its
  // documentReference (the service's: the name the request gave); empty:
  // its file: URI.
  std::string documentReference;
};

// Where a rule set's report on `document` goes: where xslvalidate writes
// it (empty `reportFolder`), or under the same file name in `reportFolder`.
std::u16string reportPathFor(std::u16string_view document, std::u16string_view stylesheet,
                             std::u16string_view reportFolder);

// Checks `document` under `plan`, writing each report in `reportFolder`
// under the name xslvalidate gives it (empty `reportFolder`: beside the
// document, exactly where xslvalidate writes it). Never prints; every
// failure is in the record (verdict kNone and its reason).
// With scenarios, also makes the configuration's validation report of the
// document (validation_report.h) in `reportFolder`, its explanation in
// `pageFolder` when that is not empty.
DocumentResult checkDocument(const CheckPlan& plan, CheckWorker* worker,
                             std::u16string_view document,
                             std::u16string_view reportFolder,
                             std::u16string_view pageFolder = {});

#endif  // XSLVALIDATE_VERDICT_CHECK_H_
