#include "verdict/check.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "path/path_text.h"
#include "path/report_path.h"
#include "verdict/bundled_stylesheets.h"
#include "verdict/document_prolog.h"
#include "verdict/host_files.h"
#include "verdict/reason_code.h"
#include "verdict/scenarios.h"
#include "verdict/schema_support.h"
#include "verdict/scratch_guard.h"
#include "verdict/shown.h"
#include "verdict/summary_line.h"
#include "verdict/validation_report.h"

namespace {

// The worker's files in its scratch folder.
struct Scratch {
  std::u16string summary;
  std::u16string schemaReport;
  std::u16string match;
  std::u16string contexts;
  std::u16string probe;  // a one-element document, to see the engine read one
};

Scratch scratchFiles(const CheckWorker& worker) {
  return Scratch{inFolder(worker.scratch, u"summary.txt"),
                 inFolder(worker.scratch, u"schema-report.xml"),
                 inFolder(worker.scratch, u"match.txt"),
                 inFolder(worker.scratch, u"contexts.txt"),
                 inFolder(worker.scratch, u"probe.xml")};
}

std::string scratchProblem(const CheckWorker& worker, std::string_view reason) {
  return "the temporary folder " + shown(worker.scratch) +
         " could not be written (" + std::string(reason) + ")";
}

// When the engine could not write a file in the scratch folder, says why
// the folder is at fault (full, gone, not writable) by writing as much as
// the engine meant to; empty text when the folder takes it.
std::string probeScratch(const CheckWorker& worker, unsigned long long size) {
  std::u16string probe = inFolder(worker.scratch, u"probe");
  std::string reason = writeWholeFile(probe, std::string(size + 4096, ' '));
  removeFile(probe);
  return reason.empty() ? std::string() : scratchProblem(worker, reason);
}

// Runs the summary stylesheet over `input` and hands its head and every
// following line to `line`, which returns false to stop with its problem
// set. Returns the problem that kept the summary from being read, or
// empty text. `notXml` is the problem when the engine cannot read `input`;
// `*notRead` (when given) is then set as well.
std::string readSummary(CheckWorker* worker, std::u16string_view input,
                        std::string_view notXml, SummaryHead* head,
                        const std::function<bool(const std::string&)>& line,
                        bool* notRead = nullptr) {
  Scratch files = scratchFiles(*worker);
  removeFile(files.summary);
  if (runTransformTo(worker->environment, input, worker->bundled->summary,
                     files.summary) != 0) {
    std::string full = probeScratch(*worker, fileIdentity(input).size);
    if (notRead)
      *notRead = full.empty();
    return full.empty() ? std::string(notXml) : full;
  }
  std::FILE* summary = openFile(files.summary, "rb");
  if (!summary)
    return "the report's summary could not be opened";
  std::string problem;
  std::string text;
  if (!readLine(summary, &text) || !parseSummaryHead(text, head)) {
    problem = "the report's summary is malformed";
  } else {
    while (readLine(summary, &text)) {
      if (!line(text)) {
        problem = "the report's summary is malformed";
        break;
      }
    }
  }
  std::fclose(summary);
  return problem;
}

// What the document is, as the summary stylesheet reads it before any rule
// set runs: whether the engine could read it at all and, when it could not,
// whose fault that is.
struct DocumentLook {
  bool read = false;
  SummaryHead head;           // when read
  std::string fault;          // when not read: why, in words
  const char* faultCode = nullptr;
  bool documentAtFault = false;  // the document's own fault, not the engine's
  // Where the parser stopped and why, for a document not well-formed.
  long long line = 0;
  long long column = 0;
  std::string parserMessage;
  bool faultStated = false;  // `fault` says it whole
};

// Where the engine's parser stops on `document` and what it says: the
// XML Schema step against a schema that declares nothing reads the
// document with the one guarded parser and reports a document it cannot
// read as a fatal finding with its line and column, as data. False when
// the step gives no such finding (or this host's engine has no schema
// step).
bool parserStop(CheckWorker* worker, std::u16string_view document, DocumentLook* look) {
  if (hostHasOwnSchemaValidator())
    return false;
  Scratch files = scratchFiles(*worker);
  const std::u16string schema = inFolder(worker->scratch, u"declares-nothing.xsd");
  if (!writeWholeFile(schema, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"/>\n")
           .empty())
    return false;
  removeFile(files.schemaReport);
  if (runSchemaValidation(worker->environment, document, {schema}, files.schemaReport,
                          ReadRules()) != 0)
    return false;
  SummaryHead head;
  bool found = false;
  const std::string problem = readSummary(
      worker, files.schemaReport, "the schema report could not be read as XML", &head,
      [&](const std::string& line) {
        SchemaFinding finding;
        if (!head.schemaReport || !parseSchemaFindingLine(line, &finding))
          return false;
        if (!found && normalizedFlag(finding.severity) == "fatal") {
          found = true;
          look->line = finding.line;
          look->column = finding.column;
          look->parserMessage = finding.text;
        }
        return true;
      });
  return problem.empty() && found;
}

// What the first bytes of `document` say (scanProlog); kOther when it
// cannot be read.
PrologKind prologOf(std::u16string_view document) {
  std::FILE* file = openFile(document, "rb");
  std::string head(64 * 1024, '\0');
  size_t got = file ? std::fread(head.data(), 1, head.size(), file) : 0;
  bool whole = file && got < head.size() && !std::ferror(file);
  if (file)
    std::fclose(file);
  head.resize(got);
  return file ? scanProlog(head, whole) : PrologKind::kOther;
}

// Why the engine could not read `document`, once it could not: when it
// reads a one-element document with the same stylesheet, the engine works
// and the document is at fault (its first bytes tell a DOCTYPE and an empty
// document from other faults); when it cannot, the engine is.
void explainUnread(CheckWorker* worker, std::u16string_view document, DocumentLook* look) {
  Scratch files = scratchFiles(*worker);
  SummaryHead probeHead;
  std::string problem = writeWholeFile(files.probe, "<xslvalidate-probe/>\n");
  if (problem.empty())
    problem = readSummary(worker, files.probe, "the engine could not read a one-element "
                          "document either", &probeHead,
                          [](const std::string&) { return true; });
  else
    problem = scratchProblem(*worker, problem);
  if (!problem.empty()) {
    look->fault = problem;
    look->faultCode = reason_code::kEngineFailed;
    return;
  }
  look->documentAtFault = true;
  switch (prologOf(document)) {
    case PrologKind::kEmpty:
      look->fault = "the document is empty";
      look->faultCode = reason_code::kNotWellFormed;
      look->faultStated = true;
      break;
    case PrologKind::kDoctype:
      look->fault = "the document declares a DOCTYPE, which is refused (no entity or DTD "
                    "is ever read)";
      look->faultCode = reason_code::kDoctypeRefused;
      look->faultStated = true;
      break;
    case PrologKind::kOther:
      look->faultCode = reason_code::kNotWellFormed;
      if (parserStop(worker, document, look) && look->line > 0) {
        look->fault = "the document could not be read as XML (line " +
                      std::to_string(look->line) + ", column " +
                      std::to_string(look->column) + "): " + look->parserMessage;
        look->faultStated = true;
      } else {
        look->fault = "the document could not be read as XML: it is not well-formed, or "
                      "its shape is refused for safety (see the engine's messages)";
      }
      break;
  }
}

DocumentLook lookAtDocument(CheckWorker* worker, std::u16string_view document) {
  DocumentLook look;
  bool notRead = false;
  std::string problem = readSummary(worker, document, "not read", &look.head,
                                    [](const std::string&) { return true; }, &notRead);
  if (problem.empty()) {
    look.read = true;
  } else if (notRead) {
    explainUnread(worker, document, &look);
  } else {
    look.fault = problem;
    look.faultCode = reason_code::kEngineFailed;
  }
  return look;
}

// The namespaces the contexts of `stylesheet`'s rules name (contexts.xsl),
// worked out once per worker; nullopt when the rule set could not be read.
const std::optional<std::vector<std::string>>& ruleContexts(CheckWorker* worker,
                                                            const std::u16string& stylesheet) {
  auto known = worker->ruleContexts.find(stylesheet);
  if (known != worker->ruleContexts.end())
    return known->second;
  std::optional<std::vector<std::string>>& contexts = worker->ruleContexts[stylesheet];
  Scratch files = scratchFiles(*worker);
  removeFile(files.contexts);
  if (runTransformTo(worker->environment, stylesheet, worker->bundled->contexts,
                     files.contexts) != 0)
    return contexts;
  std::FILE* file = openFile(files.contexts, "rb");
  if (!file)
    return contexts;
  std::vector<std::string> names;
  std::string line, name;
  bool ok = true;
  while (readLine(file, &line)) {
    std::vector<std::string> fields;
    ok = ok && splitFields(line, &fields) && fields.size() == 1;
    if (ok)
      names.push_back(fields[0]);
  }
  std::fclose(file);
  if (ok)
    contexts = std::move(names);
  return contexts;
}

// Whether `stylesheet`'s rules cannot apply to the document at all: its
// rule contexts name elements of some namespaces and none of the
// document's elements is in one of them. Explains why in `*why`. A rule
// set whose contexts name no namespace, or that could not be read, is not
// judged: nothing shows it is the wrong one.
bool wrongRuleSet(CheckWorker* worker, const std::u16string& stylesheet,
                  const SummaryHead& document, std::string* why) {
  const std::optional<std::vector<std::string>>& named = ruleContexts(worker, stylesheet);
  if (!named || named->empty())
    return false;
  for (const std::string& uri : *named)
    if (std::find(document.namespaces.begin(), document.namespaces.end(), uri) !=
        document.namespaces.end())
      return false;
  std::string list;
  for (const std::string& uri : *named)
    list += (list.empty() ? "" : ", ") + uri;
  *why = "it is the wrong rule set for this document: its rules apply to elements in " +
         list + ", and the document (root element " + document.rootName +
         ") has none; it may be for another syntax";
  return true;
}

// Runs `stylesheet` over `document` into `own` (an empty file made for
// the run) and reads what it wrote into `record`. Returns false when the
// run failed; `*written` tells whether the run wrote `own`. `look` is the
// document as read before the runs when the rule set was given by hand
// (null in scenario mode, where the scenario's match has said what the
// document is).
bool runAndJudge(CheckWorker* worker, std::u16string_view document,
                 const std::u16string& stylesheet, std::u16string_view own,
                 const DocumentLook* look, const ReadRules& rules, RuleSetRecord* record,
                 bool* written) {
  FileIdentity before = fileIdentity(own);
  record->runStatus = runTransformTo(worker->environment, document, stylesheet, own, rules);
  record->run = record->runStatus == 0 ? RunState::kCompleted : RunState::kFailed;
  if (record->runStatus != 0) {
    record->problem = "the run failed with status " + std::to_string(record->runStatus);
    record->problemCode = reason_code::kRuleEngineError;
    return false;
  }
  *written = writtenSince(before, fileIdentity(own));
  if (!*written) {
    record->problem = "the run wrote no report (the file at its path is not new)";
    record->problemCode = reason_code::kRuleEngineError;
    return true;
  }
  SummaryHead head;
  record->problem = readSummary(
      worker, own, "the report could not be read as XML", &head,
      [&](const std::string& line) {
        Finding finding;
        if (!head.svrl || !parseFindingLine(line, &finding))
          return false;
        FindingRecord found;
        found.kind = finding.kind;
        found.id = finding.id;
        found.flag = finding.flag;
        found.severity = severityOf(finding);
        found.test = finding.test;
        found.location = finding.location;
        found.text = finding.text;
        record->findings.push_back(std::move(found));
        return true;
      });
  if (head.svrl || head.schemaReport || !head.rootName.empty())
    record->svrl = head.svrl;  // the summary's head was read
  record->problemCode = reason_code::kRuleEngineError;
  if (!record->problem.empty())
    return true;
  // Whether any rule fired is reported, not judged: some generators never
  // write svrl:fired-rule, and a generic rule (context //*) fires on any
  // document. What the rules' contexts name decides.
  record->firedRules = head.firedRules > 0;
  if (!head.svrl) {
    record->problem = head.schemaReport
                          ? "the report is not SVRL (it is a schema report)"
                          : "the report is not SVRL (its root element is " +
                                head.rootName + ")";
  } else if (look && wrongRuleSet(worker, stylesheet, look->head, &record->problem)) {
    record->problemCode = reason_code::kWrongRuleSet;
  } else {
    record->problemCode = nullptr;
  }
  return true;
}

// Runs one rule set and reads its report into `record`. Returns false when
// the run failed, so that later rule sets are not run. The run writes to
// a file of this call's own beside the report path, which is judged and
// only then renamed to the report's name: another call writing the same
// report name at the same time can replace the report afterwards, never
// change what this call judged. The run keeps to `rules` (a
// configuration's scope; none by hand).
// With `keep` false the report is written in the worker's scratch folder
// instead, where the document's validation report reads it; it is not one
// of the call's outputs, and checkDocument removes it.
bool checkRuleSet(CheckWorker* worker, std::u16string_view document,
                  const std::u16string& stylesheet, std::u16string_view reportFolder,
                  bool keep, const DocumentLook* look, const ReadRules& rules,
                  RuleSetRecord* record) {
  std::u16string report =
      reportPathFor(document, stylesheet, keep ? reportFolder : worker->scratch);
  record->stylesheet = shown(stylesheet);
  record->report = keep ? shown(report) : std::string();
  // The rename would replace it where xslvalidate's run refuses to.
  if (isReadOnlyFile(report)) {
    record->run = RunState::kFailed;
    record->runStatus = 2;
    record->problem = "the report " + shown(report) + " exists and is read-only";
    record->problemCode = reason_code::kOutputUnwritable;
    return false;
  }
  std::string reason;
  const std::u16string own = makePrivateFileBeside(report, &reason);
  if (own.empty()) {
    record->problem = "the report could not be written in its folder (" + reason + ")";
    record->problemCode = reason_code::kOutputUnwritable;
    return false;
  }
  const int held = holdScratchFolder(own);
  if (endingBySignal()) {
    removeFile(own);
    releaseScratchFolder(held);
    record->problem = "the call is ending by a signal";
    record->problemCode = reason_code::kEngineFailed;
    return false;
  }
  bool written = false;
  const bool completed =
      runAndJudge(worker, document, stylesheet, own, look, rules, record, &written);
  if (!completed) {
    // A folder with no room (or no longer writable) is the cause to name,
    // with the report's own path, rather than the engine's status: it
    // takes as much as the run meant to write, or it does not.
    reason = writeWholeFile(own, std::string(fileIdentity(document).size + 4096, ' '));
    if (!reason.empty()) {
      record->problem = "the report " + shown(report) + " could not be written (" + reason + ")";
      record->problemCode = reason_code::kOutputUnwritable;
    }
  }
  // Whatever it says, a report the run wrote takes its name, as
  // xslvalidate's would; a failed run leaves the earlier report alone.
  reason = written ? renameFile(own, report) : std::string();
  if (!written || !reason.empty())
    removeFile(own);
  else
    record->reportFile = report;
  if (!reason.empty() && record->problem.empty()) {
    record->problem = "the report could not be put in place at " + shown(report) + " (" +
                      reason + ")";
    record->problemCode = reason_code::kOutputUnwritable;
  }
  releaseScratchFolder(held);
  return completed;
}

// The level a scenario's customLevel gives the rule `id`, or null.
const std::string* customLevel(const Scenario* scenario,
                               const std::optional<std::string>& id) {
  if (!scenario || !id)
    return nullptr;
  for (const auto& [rule, level] : scenario->customLevels)
    if (rule == *id)
      return &level;
  return nullptr;
}

// An invalid schema step must carry an error that rejects: invalid
// without one would reject on nothing, or accept.
void checkSchemaOutcome(SchemaRecord* schema) {
  bool anyError = false;
  for (const FindingRecord& finding : schema->findings)
    anyError = anyError || rejects(finding.severity, false);
  if (schema->state == SchemaState::kInvalid && !anyError) {
    schema->state = SchemaState::kFailed;
    schema->problem = "the schema step says the document is invalid but gives no error";
  }
}

// Validates `document` against the scenario's schemas into `result`.
void checkSchema(CheckWorker* worker, std::u16string_view document,
                 const Scenario& scenario, const ReadRules& rules, DocumentResult* result) {
  SchemaRecord& schema = result->schema;
  for (const std::u16string& path : scenario.schemas)
    schema.schemas.push_back(shown(path));
  if (hostHasOwnSchemaValidator()) {
    validateWithHostSchemas(document, scenario.schemas, &schema);
    checkSchemaOutcome(&schema);
    return;
  }
  Scratch files = scratchFiles(*worker);
  removeFile(files.schemaReport);
  int status = runSchemaValidation(worker->environment, document, scenario.schemas,
                                   files.schemaReport, rules);
  if (status != 0) {
    std::string full = probeScratch(*worker, fileIdentity(document).size);
    schema.state = SchemaState::kFailed;
    schema.problem = !full.empty() ? full
                                   : "the XML Schema step failed with status " +
                                         std::to_string(status);
    return;
  }
  SummaryHead head;
  schema.problem = readSummary(
      worker, files.schemaReport, "the schema report could not be read as XML",
      &head, [&](const std::string& line) {
        SchemaFinding finding;
        if (!head.schemaReport || !parseSchemaFindingLine(line, &finding))
          return false;
        FindingRecord found;
        found.kind = "schema";
        found.flag = finding.severity;
        std::string severity = normalizedFlag(finding.severity);
        found.severity = knownSeverity(severity) ? severity : "error";
        found.line = finding.line;
        found.column = finding.column;
        found.text = finding.text;
        schema.findings.push_back(std::move(found));
        return true;
      });
  if (schema.problem.empty() && !head.schemaReport)
    schema.problem = "the schema report is not a schema report";
  if (!schema.problem.empty()) {
    schema.state = SchemaState::kFailed;
    return;
  }
  schema.state = head.valid ? SchemaState::kValid : SchemaState::kInvalid;
  checkSchemaOutcome(&schema);
}

// Which scenario's match failed on `document`, a document the engine can
// read: the first whose match alone does not give true or false there
// (the engine's message of the configuration's own run says why).
std::string whyMatchFailed(CheckWorker* worker, const ScenarioSet& set,
                           std::u16string_view document) {
  for (size_t i = 0; i < set.matches.size() && i < set.scenarios.size(); ++i) {
    const MatchTrial trial = tryMatch(worker->environment, worker->scratch, document,
                                      set.matches[i], configurationReads(set));
    if (trial == MatchTrial::kDynamicError || trial == MatchTrial::kNotCompiled)
      return "the match of scenario \"" + set.scenarios[i].name +
             "\" raised a dynamic error on this document, so no scenario could be chosen";
  }
  return "the scenario choice of configuration \"" + set.name + "\" (" + shown(set.file) +
         ") failed on this document";
}

// Asks one configuration's match stylesheet which of its scenarios
// `document` belongs to: the 1-based index, 0 for none, or -1 for an SVRL
// report. Returns false with `result->reason` and its code set when the
// question could not be answered.
bool askConfiguration(CheckWorker* worker, const ScenarioSet& set,
                      std::u16string_view document, size_t* index, bool* svrl,
                      DocumentResult* result) {
  Scratch files = scratchFiles(*worker);
  removeFile(files.match);
  if (runTransformTo(worker->environment, document, set.matchStylesheet, files.match,
                     configurationReads(set)) != 0) {
    std::string full = probeScratch(*worker, 0);
    if (!full.empty()) {
      result->reason = full;
      result->reasonCode = reason_code::kEngineFailed;
      return false;
    }
    // The document unreadable is its own fault; a document that reads
    // leaves the match itself at fault.
    DocumentLook look = lookAtDocument(worker, document);
    if (look.read) {
      result->reason = whyMatchFailed(worker, set, document);
      result->reasonCode = reason_code::kMatchError;
    } else {
      result->reason = look.fault;
      result->reasonCode = look.faultCode;
      result->parserLine = look.line;
      result->parserColumn = look.column;
      result->parserMessage = look.parserMessage;
      result->faultStated = look.faultStated;
      if (look.documentAtFault)
        result->verdict = Verdict::kRejected;
    }
    return false;
  }
  std::FILE* file = openFile(files.match, "rb");
  std::string line;
  bool read = file && readLine(file, &line);
  if (file)
    std::fclose(file);
  *svrl = read && line == "svrl";
  *index = 0;
  for (char c : line) {
    if (*svrl || c < '0' || c > '9' || *index > set.scenarios.size()) {
      read = read && *svrl;
      break;
    }
    *index = *index * 10 + static_cast<size_t>(c - '0');
  }
  if (!read || (!*svrl && (line.empty() || *index > set.scenarios.size()))) {
    result->reason = "the scenario choice could not be read";
    result->reasonCode = reason_code::kEngineFailed;
    return false;
  }
  return true;
}

// Chooses the document's scenario: the first that matches, over the
// configurations in order. Returns it, or null with `result->reason`, its
// code and, for the document's own faults, the verdict set.
struct ScenarioChoice {
  const ScenarioSet* configuration = nullptr;
  size_t index = 0;  // 1-based in the configuration; 0: none
};

const Scenario* chooseScenario(CheckWorker* worker,
                               const std::vector<const ScenarioSet*>& configurations,
                               std::u16string_view document, DocumentResult* result,
                               ScenarioChoice* choice) {
  std::string asked;
  for (const ScenarioSet* set : configurations) {
    size_t index = 0;
    bool svrl = false;
    if (!askConfiguration(worker, *set, document, &index, &svrl, result))
      return nullptr;
    if (svrl) {
      result->reason = "the document is an SVRL report, not a document to check";
      result->reasonCode = reason_code::kNoScenarioMatched;
      result->verdict = Verdict::kRejected;
      return nullptr;
    }
    if (index > 0) {
      *choice = ScenarioChoice{set, index};
      const Scenario& scenario = set->scenarios[index - 1];
      result->scenario = scenario.name;
      result->configuration = shown(set->file);
      return &scenario;
    }
    asked += std::string(asked.empty() ? "" : "; ") + "configuration \"" + set->name +
             "\", " + shown(set->file);
  }
  result->reason = "no scenario matches (" + asked + ")";
  result->reasonCode = reason_code::kNoScenarioMatched;
  result->verdict = Verdict::kRejected;
  return nullptr;
}

// Counts, rejecting findings and the verdict from what was found.
void decide(const Scenario* scenario, DocumentResult* result) {
  result->rejecting = 0;
  if (result->reason.empty() && !result->schema.problem.empty()) {
    result->reason = result->schema.problem;
    result->reasonCode = reason_code::kSchemaError;
  }
  for (FindingRecord& finding : result->schema.findings) {
    finding.rejects = rejects(finding.severity, result->warningsAsErrors);
    result->rejecting += finding.rejects;
  }
  for (RuleSetRecord& set : result->ruleSets) {
    set.counts = Counts();
    for (FindingRecord& finding : set.findings) {
      if (const std::string* level = customLevel(scenario, finding.id)) {
        finding.overridden = true;
        finding.severity = *level;
      }
      finding.rejects = rejects(finding.severity, result->warningsAsErrors);
      set.counts.add(finding.severity);
      result->rejecting += finding.rejects;
    }
    if (!set.problem.empty() && result->reason.empty()) {
      result->reason = set.stylesheet + ": " + set.problem;
      result->reasonCode = set.problemCode ? set.problemCode : reason_code::kRuleEngineError;
    }
  }
  if (!result->reason.empty()) {
    result->verdict = Verdict::kNone;
  } else if (result->rejecting == 0) {
    result->verdict = Verdict::kAccepted;
  } else {
    result->verdict = Verdict::kRejected;
    const bool bySchema = result->schema.state == SchemaState::kInvalid;
    result->reasonCode = bySchema ? reason_code::kSchemaInvalid : reason_code::kRuleFindings;
    result->reason = std::to_string(result->rejecting) +
                     (result->rejecting == 1 ? " finding rejects" : " findings reject") +
                     " the document" + (bySchema ? " (XML Schema step)" : "");
  }
}

}  // namespace

void placeBundledStylesheets(std::u16string_view folder, BundledPlaces* places) {
  const struct {
    std::u16string_view name;
    std::string_view stem, bytes;
    std::u16string* path;
  } bundled[] = {
      {u"summary.xsl", "summary", summaryStylesheet(), &places->summary},
      {u"contexts.xsl", "contexts", contextsStylesheet(), &places->contexts},
      {u"report-input.xsl", "report-input", reportInputStylesheet(), &places->reportInput},
      {u"explanation.xsl", "explanation", explanationStylesheet(), &places->explanation},
      {u"page.xsl", "page", pageFactsStylesheet(), &places->page},
  };
  places->problem.clear();
  for (const auto& one : bundled) {
    const std::string reason = placeStylesheet(folder, one.name, one.stem, one.bytes, one.path);
    if (!reason.empty() && places->problem.empty())
      places->problem = "the temporary folder " + shown(folder) + " could not be written (" +
                        reason + ")";
  }
}

// checkDocument, leaving every SVRL report the runs wrote where it lies.
static DocumentResult checkDocumentKeeping(const CheckPlan& plan, CheckWorker* worker,
                                    std::u16string_view document,
                                    std::u16string_view reportFolder,
                                    std::u16string_view pageFolder) {
  DocumentResult result;
  result.document = shown(document);
  result.warningsAsErrors = plan.warningsAsErrors;
  result.reason = worker->bundled->problem;
  if (!result.reason.empty()) {
    result.reasonCode = reason_code::kEngineFailed;
    return result;
  }

  // A document that declares a DOCTYPE is refused on its bytes before any
  // engine step reads it; a configuration's report of it is made of the
  // verdict's own data alone (its name and digest).
  if (prologOf(document) == PrologKind::kDoctype) {
    result.reason = "the document declares a DOCTYPE, which is refused (no entity or DTD is "
                    "ever read)";
    result.reasonCode = reason_code::kDoctypeRefused;
    result.verdict = Verdict::kRejected;
    result.faultStated = true;
  }

  const Scenario* scenario = nullptr;
  const std::vector<std::u16string>* ruleSets = &plan.ruleSets;
  std::optional<DocumentLook> look;
  ScenarioChoice choice;
  ReportRequest report;
  report.document = std::u16string(document);
  report.shownName = worker->documentReference;
  report.reportFolder = std::u16string(reportFolder);
  report.pageFolder = std::u16string(pageFolder);
  report.prefix = plan.reportPrefix;
  report.postfix = plan.reportPostfix;
  report.keepInput = plan.keepReportInput;
  if (result.reasonCode == reason_code::kDoctypeRefused && plan.configurations.empty())
    return result;
  if (!plan.configurations.empty()) {
    if (result.reasonCode != reason_code::kDoctypeRefused)
      scenario = chooseScenario(worker, plan.configurations, document, &result, &choice);
    if (!scenario) {
      // A document no configuration handles gets the first configuration's
      // noScenarioReport, as the reference validator gives it.
      if (result.verdict == Verdict::kRejected) {
        for (const ScenarioSet* set : plan.configurations)
          if (!set->noScenarioRunner.empty()) {
            report.configuration = set;
            break;
          }
        if (report.configuration) {
          if (result.reasonCode != reason_code::kNoScenarioMatched) {
            report.wellFormednessError =
                result.parserMessage.empty() ? result.reason : result.parserMessage;
            report.wellFormednessLine = result.parserLine;
            report.wellFormednessColumn = result.parserColumn;
          }
          report.documentUnread = result.reasonCode == reason_code::kDoctypeRefused;
          makeValidationReport(worker, report, &result);
        }
      }
      return result;
    }
    report.configuration = choice.configuration;
    report.scenario = scenario;
    report.scenarioIndex = choice.index;
    ruleSets = &scenario->ruleSets;
    if (!scenario->schemas.empty()) {
      checkSchema(worker, document, *scenario, configurationReads(*choice.configuration),
                  &result);
      if (result.schema.state != SchemaState::kValid) {
        // An invalid document or a step that could not be done: the rule
        // sets, written for valid documents, are not run.
        for (const std::u16string& stylesheet : *ruleSets) {
          RuleSetRecord record;
          record.stylesheet = shown(stylesheet);
          if (plan.keepRuleSetReports)
            record.report = shown(reportPathFor(document, stylesheet, reportFolder));
          result.ruleSets.push_back(std::move(record));
        }
        decide(scenario, &result);
        if (result.verdict != Verdict::kNone)
          makeValidationReport(worker, report, &result);
        return result;
      }
    }
  } else {
    // Rule sets by hand: the document is read first, so that its own
    // faults reject it before any rule set runs, and what it is (an SVRL
    // report, the namespaces of its elements) is known to judge them.
    look = lookAtDocument(worker, document);
    if (!look->read) {
      result.reason = look->fault;
      result.reasonCode = look->faultCode;
      result.parserLine = look->line;
      result.parserColumn = look->column;
      result.parserMessage = look->parserMessage;
      result.faultStated = look->faultStated;
      result.verdict = look->documentAtFault ? Verdict::kRejected : Verdict::kNone;
      return result;
    }
    if (look->head.svrl) {
      result.reason = "the document is an SVRL report, not a document to check";
      result.reasonCode = reason_code::kWrongRuleSet;
      return result;
    }
  }

  size_t i = 0;
  for (; i < ruleSets->size(); ++i) {
    result.ruleSets.emplace_back();
    if (!checkRuleSet(worker, document, (*ruleSets)[i], reportFolder, plan.keepRuleSetReports,
                      look ? &*look : nullptr,
                      scenario ? configurationReads(*choice.configuration) : ReadRules(),
                      &result.ruleSets.back()))
      break;
  }
  for (++i; i < ruleSets->size(); ++i) {
    RuleSetRecord record;
    record.stylesheet = shown((*ruleSets)[i]);
    if (plan.keepRuleSetReports)
      record.report = shown(reportPathFor(document, (*ruleSets)[i], reportFolder));
    record.problem = "not run, an earlier run failed";
    record.problemCode = reason_code::kRuleEngineError;
    result.ruleSets.push_back(std::move(record));
  }
  decide(scenario, &result);
  if (scenario && result.verdict != Verdict::kNone)
    makeValidationReport(worker, report, &result);
  return result;
}

DocumentResult checkDocument(const CheckPlan& plan, CheckWorker* worker,
                             std::u16string_view document,
                             std::u16string_view reportFolder,
                             std::u16string_view pageFolder) {
  DocumentResult result = checkDocumentKeeping(plan, worker, document, reportFolder, pageFolder);
  // The SVRL reports that are not outputs go once the document is judged.
  if (!plan.keepRuleSetReports)
    for (RuleSetRecord& ruleSet : result.ruleSets)
      if (!ruleSet.reportFile.empty()) {
        removeFile(ruleSet.reportFile);
        ruleSet.reportFile.clear();
      }
  return result;
}

std::u16string reportPathFor(std::u16string_view document,
                             std::u16string_view stylesheet,
                             std::u16string_view reportFolder) {
  std::u16string report = deriveReportPath(document, stylesheet);
  if (reportFolder.empty())
    return report;
  PathText text{hostGrammar()};
  return inFolder(reportFolder,
                  std::u16string_view(report).substr(text.filenameStart(report)));
}

