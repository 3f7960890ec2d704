#include "verdict/check.h"

#include <cstdio>
#include <functional>
#include <string>

#include "path/path_text.h"
#include "path/report_path.h"
#include "verdict/bundled_stylesheets.h"
#include "verdict/host_files.h"
#include "verdict/scenarios.h"
#include "verdict/schema_support.h"
#include "verdict/scratch_guard.h"
#include "verdict/shown.h"
#include "verdict/summary_line.h"

namespace {

// The worker's files in its scratch folder.
struct Scratch {
  std::u16string summary;
  std::u16string schemaReport;
  std::u16string match;
};

Scratch scratchFiles(const CheckWorker& worker) {
  return Scratch{inFolder(worker.scratch, u"summary.txt"),
                 inFolder(worker.scratch, u"schema-report.xml"),
                 inFolder(worker.scratch, u"match.txt")};
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
// empty text. `notXml` is the problem when the engine cannot read `input`.
std::string readSummary(CheckWorker* worker, std::u16string_view input,
                        std::string_view notXml, SummaryHead* head,
                        const std::function<bool(const std::string&)>& line) {
  Scratch files = scratchFiles(*worker);
  removeFile(files.summary);
  if (runTransformTo(worker->environment, input, worker->summaryStylesheet,
                     files.summary) != 0) {
    std::string full = probeScratch(*worker, fileIdentity(input).size);
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

// The report path of one rule set: where xslvalidate writes it, or the
// same file name in `reportFolder`.
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

// Runs `stylesheet` over `document` into `own` (an empty file made for
// the run) and reads what it wrote into `record`. Returns false when the
// run failed; `*written` tells whether the run wrote `own`.
bool runAndJudge(CheckWorker* worker, std::u16string_view document,
                 std::u16string_view stylesheet, std::u16string_view own,
                 RuleSetRecord* record, bool* written) {
  FileIdentity before = fileIdentity(own);
  record->runStatus = runTransformTo(worker->environment, document, stylesheet, own);
  record->run = record->runStatus == 0 ? RunState::kCompleted : RunState::kFailed;
  if (record->runStatus != 0) {
    record->problem = "the run failed with status " + std::to_string(record->runStatus);
    return false;
  }
  *written = writtenSince(before, fileIdentity(own));
  if (!*written) {
    record->problem = "the run wrote no report (the file at its path is not new)";
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
  if (!record->problem.empty())
    return true;
  record->firedRules = head.firedRules > 0;
  if (!head.svrl) {
    record->problem = head.schemaReport
                          ? "the report is not SVRL (it is a schema report)"
                          : "the report is not SVRL (its root element is " +
                                head.rootName + ")";
  } else if (!record->firedRules && record->findings.empty()) {
    record->problem =
        "no rule of this rule set applied to the document (its report has "
        "no fired rule and no finding); it may be the wrong rule set for "
        "this kind of document";
  }
  return true;
}

// Runs one rule set and reads its report into `record`. Returns false when
// the run failed, so that later rule sets are not run. The run writes to
// a file of this call's own beside the report path, which is judged and
// only then renamed to the report's name: another call writing the same
// report name at the same time can replace the report afterwards, never
// change what this call judged.
bool checkRuleSet(CheckWorker* worker, std::u16string_view document,
                  std::u16string_view stylesheet, std::u16string_view reportFolder,
                  RuleSetRecord* record) {
  std::u16string report = reportPathFor(document, stylesheet, reportFolder);
  record->stylesheet = shown(stylesheet);
  record->report = shown(report);
  // The rename would replace it where xslvalidate's run refuses to.
  if (isReadOnlyFile(report)) {
    record->run = RunState::kFailed;
    record->runStatus = 2;
    record->problem = "the report " + shown(report) + " exists and is read-only";
    return false;
  }
  std::string reason;
  const std::u16string own = makePrivateFileBeside(report, &reason);
  if (own.empty()) {
    record->problem = "the report could not be written in its folder (" + reason + ")";
    return false;
  }
  const int held = holdScratchFolder(own);
  if (endingBySignal()) {
    removeFile(own);
    releaseScratchFolder(held);
    record->problem = "the call is ending by a signal";
    return false;
  }
  bool written = false;
  const bool completed = runAndJudge(worker, document, stylesheet, own, record, &written);
  if (!completed) {
    // A folder with no room (or no longer writable) is the cause to name,
    // with the report's own path, rather than the engine's status: it
    // takes as much as the run meant to write, or it does not.
    reason = writeWholeFile(own, std::string(fileIdentity(document).size + 4096, ' '));
    if (!reason.empty())
      record->problem = "the report " + shown(report) + " could not be written (" + reason + ")";
  }
  // Whatever it says, a report the run wrote takes its name, as
  // xslvalidate's would; a failed run leaves the earlier report alone.
  reason = written ? renameFile(own, report) : std::string();
  if (!written || !reason.empty())
    removeFile(own);
  if (!reason.empty() && record->problem.empty())
    record->problem = "the report could not be put in place at " + shown(report) + " (" +
                      reason + ")";
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
                 const Scenario& scenario, DocumentResult* result) {
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
  int status = runSchemaValidation(worker->environment, document,
                                   scenario.schemas, files.schemaReport);
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

// Why the match stylesheet failed on `document`: the document is not XML,
// or, when it is, the first scenario whose match alone fails on it raised
// a dynamic error there (the engine's message says which).
std::string whyNoMatch(CheckWorker* worker, const ScenarioSet& set,
                       std::u16string_view document) {
  const std::string notXml =
      "the document could not be read as XML, so no scenario could be chosen";
  SummaryHead head;
  if (!readSummary(worker, document, "not XML", &head,
                   [](const std::string&) { return true; }).empty())
    return notXml;
  const Scratch files = scratchFiles(*worker);
  const std::u16string single = inFolder(worker->scratch, u"match-one.xsl");
  for (size_t i = 0; i < set.matches.size() && i < set.scenarios.size(); ++i) {
    if (!writeWholeFile(single, matchStylesheetText({set.matches[i]})).empty())
      break;
    removeFile(files.match);
    if (runTransformTo(worker->environment, document, single, files.match) != 0)
      return "the match of scenario \"" + set.scenarios[i].name +
             "\" raised a dynamic error on this document, so no scenario could be chosen";
  }
  return "the scenario choice failed on this document";
}

// Chooses the document's scenario with the configuration's match
// stylesheet. Returns it, or null with `result->reason` set.
const Scenario* chooseScenario(CheckWorker* worker, const ScenarioSet& set,
                               std::u16string_view document,
                               DocumentResult* result) {
  Scratch files = scratchFiles(*worker);
  removeFile(files.match);
  if (runTransformTo(worker->environment, document, set.matchStylesheet,
                     files.match) != 0) {
    std::string full = probeScratch(*worker, 0);
    result->reason = !full.empty() ? full : whyNoMatch(worker, set, document);
    return nullptr;
  }
  std::FILE* file = openFile(files.match, "rb");
  std::string line;
  bool read = file && readLine(file, &line);
  if (file)
    std::fclose(file);
  if (!read) {
    result->reason = "the scenario choice could not be read";
    return nullptr;
  }
  if (line == "svrl") {
    result->reason = "the document is an SVRL report, not a document to check";
    return nullptr;
  }
  size_t index = 0;
  for (char c : line) {
    if (c < '0' || c > '9' || index > set.scenarios.size()) {
      result->reason = "the scenario choice could not be read";
      return nullptr;
    }
    index = index * 10 + static_cast<size_t>(c - '0');
  }
  if (line.empty() || index > set.scenarios.size()) {
    result->reason = "the scenario choice could not be read";
    return nullptr;
  }
  if (index == 0) {
    result->reason = "no scenario matches (configuration \"" + set.name + "\", " +
                     shown(set.file) + ")";
    return nullptr;
  }
  const Scenario& scenario = set.scenarios[index - 1];
  result->scenario = scenario.name;
  return &scenario;
}

// Makes sure the summary stylesheet is there to run: kept between calls
// where the host allows, else in the worker's scratch folder.
std::string prepareSummaryStylesheet(CheckWorker* worker) {
  if (!worker->summaryStylesheet.empty() && fileIdentity(worker->summaryStylesheet).exists)
    return std::string();
  std::string reason = placeStylesheet(worker->scratch, u"summary.xsl", "summary",
                                       summaryStylesheet(), &worker->summaryStylesheet);
  return reason.empty() ? std::string() : scratchProblem(*worker, reason);
}

// Counts, rejecting findings and the verdict from what was found.
void decide(const Scenario* scenario, DocumentResult* result) {
  result->rejecting = 0;
  if (result->reason.empty() && !result->schema.problem.empty())
    result->reason = result->schema.problem;
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
    if (!set.problem.empty() && result->reason.empty())
      result->reason = set.stylesheet + ": " + set.problem;
  }
  if (!result->reason.empty())
    result->verdict = Verdict::kNone;
  else
    result->verdict = result->rejecting > 0 ? Verdict::kRejected : Verdict::kAccepted;
}

}  // namespace

DocumentResult checkDocument(const CheckPlan& plan, CheckWorker* worker,
                             std::u16string_view document,
                             std::u16string_view reportFolder) {
  DocumentResult result;
  result.document = shown(document);
  result.warningsAsErrors = plan.warningsAsErrors;
  result.reason = prepareSummaryStylesheet(worker);
  if (!result.reason.empty())
    return result;

  const Scenario* scenario = nullptr;
  const std::vector<std::u16string>* ruleSets = &plan.ruleSets;
  if (plan.scenarios) {
    result.configuration = shown(plan.scenarios->file);
    scenario = chooseScenario(worker, *plan.scenarios, document, &result);
    if (!scenario)
      return result;
    ruleSets = &scenario->ruleSets;
    if (!scenario->schemas.empty()) {
      checkSchema(worker, document, *scenario, &result);
      if (result.schema.state != SchemaState::kValid) {
        // An invalid document or a step that could not be done: the rule
        // sets, written for valid documents, are not run.
        for (const std::u16string& stylesheet : *ruleSets) {
          RuleSetRecord record;
          record.stylesheet = shown(stylesheet);
          record.report = shown(reportPathFor(document, stylesheet, reportFolder));
          result.ruleSets.push_back(std::move(record));
        }
        decide(scenario, &result);
        return result;
      }
    }
  }

  size_t i = 0;
  for (; i < ruleSets->size(); ++i) {
    result.ruleSets.emplace_back();
    if (!checkRuleSet(worker, document, (*ruleSets)[i], reportFolder,
                      &result.ruleSets.back()))
      break;
  }
  for (++i; i < ruleSets->size(); ++i) {
    RuleSetRecord record;
    record.stylesheet = shown((*ruleSets)[i]);
    record.report = shown(reportPathFor(document, (*ruleSets)[i], reportFolder));
    record.problem = "not run, an earlier run failed";
    result.ruleSets.push_back(std::move(record));
  }
  decide(scenario, &result);
  if (!plan.scenarios && result.verdict != Verdict::kNone) {
    // A report fed back as if it were a document is not one to judge,
    // whatever rules happened to fire on it. (A configuration's match
    // stylesheet tells this itself.)
    SummaryHead head;
    std::string problem = readSummary(worker, document, "", &head,
                                      [](const std::string&) { return true; });
    if (problem.empty() && head.svrl) {
      result.verdict = Verdict::kNone;
      result.reason = "the document is an SVRL report, not a document to check";
    }
  }
  return result;
}
