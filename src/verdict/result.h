// One document's outcome as a record: what the check found, before any
// output form (text, JSON, JSON Lines, JUnit, HTML) renders it. Checking
// fills it in; printing only reads it.
#ifndef XSLVALIDATE_VERDICT_RESULT_H_
#define XSLVALIDATE_VERDICT_RESULT_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class RunState { kCompleted, kFailed, kNotRun };
enum class Verdict { kAccepted, kRejected, kNone };

// Findings counted by severity: fatal, error, warning and information
// always, in that order, then any other severity in order of appearance.
struct Counts {
  std::vector<std::pair<std::string, long long>> bySeverity = {
      {"fatal", 0}, {"error", 0}, {"warning", 0}, {"information", 0}};
  void add(const std::string& severity);
};

// One finding: a rule's svrl:failed-assert or svrl:successful-report, or
// an error of the XML Schema step. Texts are UTF-8 exactly as the report or
// the validator wrote them; renderers make them safe for their form.
struct FindingRecord {
  std::string kind;                     // "failed-assert", "successful-report" or "schema"
  std::optional<std::string> id;        // the rule's id; absent for schema findings
  std::optional<std::string> flag;      // the flag as the report wrote it
  std::string severity;                 // the final severity, after any override
  bool overridden = false;              // a scenario's customLevel set `severity`
  bool rejects = false;                 // this finding rejects the document
  std::optional<std::string> test;      // the SVRL test (rule findings)
  std::optional<std::string> location;  // the SVRL location (rule findings)
  // Where it is in the document: schema findings always, rule findings
  // (their location followed on the document) only for the page; 0 when
  // unknown.
  long long line = 0;
  long long column = 0;
  // The value of the attribute, text or childless element a rule
  // finding's location names (page only); nullopt when it names another
  // node or none.
  std::optional<std::string> value;
  std::string text;
};

// One rule set's run and what its report said.
struct RuleSetRecord {
  std::string stylesheet;  // as given, for display
  std::string report;      // the report's path, for display; empty when not kept
  // Where the SVRL report lies while the document is checked (its report
  // path, or the worker's scratch folder when it is not kept); empty when
  // the run wrote none.
  std::u16string reportFile;
  // What the page heads it with: the configuration's resource name, else
  // the file name without its folder; empty when the page was not asked.
  std::string name;
  RunState run = RunState::kNotRun;
  int runStatus = 0;
  // Whether the report was read as SVRL; unset when it was not read or
  // was not XML.
  std::optional<bool> svrl;
  bool firedRules = false;  // the report holds at least one svrl:fired-rule
  Counts counts;
  std::vector<FindingRecord> findings;
  // Why this rule set gives no verdict; empty when it does, and when it was
  // not run because the XML Schema step did not pass.
  std::string problem;
  const char* problemCode = nullptr;  // reason_code.h; set with `problem`
};

// The XML Schema step of a scenario.
enum class SchemaState {
  kNotAsked,     // no scenario, or the scenario names no schema
  kValid,        // the document is valid against the scenario's schemas
  kInvalid,      // schema findings reject the document; rule sets not run
  kFailed,       // the step could not be done (reason in `problem`)
  kUnsupported,  // this host cannot validate XML Schemas
};

struct SchemaRecord {
  SchemaState state = SchemaState::kNotAsked;
  std::vector<std::string> schemas;  // the schema files, for display
  std::vector<FindingRecord> findings;
  std::string problem;
};

// Who and what an invoice is about, as the page shows it; texts as the
// document holds them, empty where it has none.
struct InvoiceIdentity {
  std::string syntax;  // "ubl-invoice", "ubl-creditnote", "cii" or empty
  std::string number;
  std::string issueDate;
  std::string seller;
  std::string buyer;
  std::string total;
  std::string currency;
};

struct DocumentResult {
  std::string document;  // as given, for display
  std::optional<std::string> scenario;       // the matched scenario's name
  std::optional<std::string> configuration;  // the scenarios file, for display
  bool warningsAsErrors = false;
  SchemaRecord schema;
  std::vector<RuleSetRecord> ruleSets;
  Verdict verdict = Verdict::kNone;
  long long rejecting = 0;  // findings that reject the document
  // Why the document is not accepted (rejected or no verdict), in words and
  // as a stable code (reason_code.h); empty and null when it is accepted.
  std::string reason;
  const char* reasonCode = nullptr;
  // Where the XML parser stopped on a document that is not XML, and its
  // words, when the engine's parser told them (line 0: not known).
  long long parserLine = 0;
  long long parserColumn = 0;
  std::string parserMessage;
  // The reason states the document's own fault whole (empty, a DOCTYPE,
  // where the parser stopped): what the engine's runs wrote of it adds
  // nothing but Java's texts of the same error.
  bool faultStated = false;
  // The configuration's validation report (rep:report), when one was made:
  // where it was written, what it says ("accept" or "reject"), by what
  // ("acceptMatch" or "report", its own assessment), and whether that
  // turned the verdict the findings alone give.
  std::optional<std::string> validationReport;
  std::u16string validationReportFile;  // its path, to read it back
  std::optional<std::string> assessment;
  std::string assessmentBy;
  bool assessmentOverrides = false;
  // What the engine wrote about this document's runs (a missing
  // stylesheet, a parse error with its line), so that JSON and JUnit carry
  // the reason and not only standard error; empty when nothing was kept.
  std::string engineMessages;
  // The same taken apart where the engine tells them apart: what compiling
  // each rule set wrote (the same for every document), and what the runs
  // over this document wrote. Standard error shows the first once per
  // call and the second whole for every document.
  std::vector<std::string> compileMessages;
  std::string runMessages;
  // Read for the page only (--html), from the document itself: its
  // identification (nullopt when it could not be read) and whether the
  // engine gave the rule findings' lines.
  std::optional<InvoiceIdentity> identity;
  bool sourceLines = false;
};

#endif  // XSLVALIDATE_VERDICT_RESULT_H_
