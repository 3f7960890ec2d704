// The configuration's own validation report (rep:report), made as the
// XRechnung reference validator makes it: an input document in its
// published createReportInput format, the scenario's report stylesheet run
// on it with the checked document as its input-document, and acceptance as
// the configuration defines it (its acceptMatch over the report, else the
// report's own assessment).
#ifndef XSLVALIDATE_VERDICT_VALIDATION_REPORT_H_
#define XSLVALIDATE_VERDICT_VALIDATION_REPORT_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "verdict/check.h"
#include "verdict/result.h"
#include "verdict/scenarios.h"

// A file name as a file: URI (absolute, each byte outside the unreserved
// characters and "/" percent-encoded, Windows separators made "/").
std::string fileUri(std::u16string_view path);

// The file name, in the folder of the report runner's input, under which
// the runner writes its acceptance (xsl:result-document).
extern const char16_t kAcceptName[];

// The stylesheet that runs `reportStylesheet` (imported) with its
// parameter input-document as the engine gives it (none: the empty
// sequence), and in the same run says whether the report it made is
// accepted: it writes
// the report as its output and "accept" or "reject" as kAcceptName beside
// its input. Acceptance is `acceptMatch` (an XPath over the report, with
// `namespaces` bound) when it is not empty, else the report's own
// assessment. Written as data by the XML writer (xml_writer.h): empty text
// when a binding or the XPath is one it refuses.
std::string reportRunnerText(std::u16string_view reportStylesheet,
                             const std::vector<std::pair<std::string, std::string>>& namespaces,
                             const std::string& acceptMatch);

// The stylesheet that writes "accept" or "reject" for a validation report
// as reportRunnerText decides it, alone; run only to tell an acceptMatch
// that is not XPath from a report stylesheet that does not compile. Empty
// text when the writer refuses it.
std::string acceptStylesheetText(const std::vector<std::pair<std::string, std::string>>& namespaces,
                                 const std::string& acceptMatch);

// Where the report of `document` goes: `folder` (empty: the document's own
// folder) and <prefix><name without extension>-report<postfix>.xml.
std::u16string validationReportPath(std::u16string_view document, std::u16string_view folder,
                                    std::u16string_view prefix, std::u16string_view postfix);

// Every file the report step of one document may write, named once for the
// writer and for the call's output plan (output_plan.h): the report, its
// input (...-report<postfix>-input.xml beside it) and its HTML explanation
// (...-report<postfix>.html in `pageFolder`; empty when `pageFolder` is).
struct ReportFiles {
  std::u16string report, input, html;
};
ReportFiles reportFiles(std::u16string_view document, std::u16string_view reportFolder,
                        std::u16string_view pageFolder, std::u16string_view prefix,
                        std::u16string_view postfix);

// What the report step is given for one document.
struct ReportRequest {
  const ScenarioSet* configuration = nullptr;  // the configuration that decides
  const Scenario* scenario = nullptr;  // null: the configuration's noScenarioReport
  size_t scenarioIndex = 0;            // 1-based, in the configuration
  std::u16string document;
  std::string shownName;  // the documentReference to write; empty: document's file: URI
  std::u16string reportFolder;  // empty: beside the document
  std::u16string pageFolder;    // where the explanation goes; empty: nowhere
  std::u16string prefix, postfix;
  bool keepInput = false;  // also write the report's input beside it
  std::string wellFormednessError;  // the parser's message when not XML
  long long wellFormednessLine = 0;  // where the parser stopped; 0: not known
  long long wellFormednessColumn = 0;
  // The document is refused unread (a DOCTYPE): the report's input names
  // it and gives its digest, and the report stylesheet does not get it.
  bool documentUnread = false;
};

// Runs the report step for `request` into `result`: the report and its
// input written, `result->validationReport` and `result->assessment` set,
// and the verdict chosen between accept and reject as the configuration
// defines it (a verdict already withheld stays so). A step that fails
// withholds the verdict with its reason.
void makeValidationReport(CheckWorker* worker, const ReportRequest& request,
                          DocumentResult* result);

#endif  // XSLVALIDATE_VERDICT_VALIDATION_REPORT_H_
