#include "verdict/printer.h"

#include "verdict/json.h"
#include "verdict/outcome_text.h"
#include "verdict/summary_line.h"

namespace {

std::string jsonOptional(const std::optional<std::string>& value) {
  return value ? jsonString(*value) : "null";
}

// A rule finding's line or column: null where the document gave none.
std::string jsonPosition(long long value) {
  return value > 0 ? std::to_string(value) : std::string("null");
}

std::string jsonBool(bool value) { return value ? "true" : "false"; }

std::string jsonText(const std::string& text) {
  return text.empty() ? std::string("null") : jsonString(text);
}

std::string countsText(const Counts& counts, bool json) {
  std::string text;
  for (const auto& [severity, count] : counts.bySeverity) {
    if (!text.empty())
      text += ", ";
    text += json ? jsonString(severity) + ": " : visible(severity) + " ";
    text += std::to_string(count);
  }
  return text;
}

// The severity as the text shows it: with the report's flag beside it
// where an override or an unknown flag made the two differ.
std::string shownSeverity(const FindingRecord& finding) {
  std::string severity = visible(finding.severity);
  if (finding.flag && (finding.overridden ||
                       normalizedFlag(*finding.flag) != finding.severity))
    severity += std::string(" (") + (finding.overridden ? "overrides " : "") +
                "flag " + visible(*finding.flag) + ")";
  return severity;
}

std::string list(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items)
    text += (text.empty() ? "" : ", ") + visible(item);
  return text;
}

std::string textSchema(const SchemaRecord& schema) {
  if (schema.state == SchemaState::kNotAsked)
    return std::string();
  std::string text = "schema " + list(schema.schemas) + ": ";
  switch (schema.state) {
    case SchemaState::kValid: text += "valid\n"; break;
    case SchemaState::kInvalid:
      text += "invalid, the rule sets were not run\n";
      break;
    default: text += "no result: " + visible(schema.problem) + "\n"; break;
  }
  for (const FindingRecord& finding : schema.findings) {
    text += "  " + shownSeverity(finding);
    if (finding.line > 0)
      text += " at line " + std::to_string(finding.line) + ", column " +
              std::to_string(finding.column);
    text += ": " + oneLine(finding.text) + "\n";
  }
  return text;
}

std::string textRuleSet(const RuleSetRecord& set) {
  // A report not kept (scenario mode without --svrl) has no place to show.
  std::string text = visible(set.stylesheet) +
                     (set.report.empty() ? std::string() : " -> " + visible(set.report)) + "\n";
  for (const FindingRecord& finding : set.findings) {
    text += "  " + shownSeverity(finding) + " " +
            (finding.id ? visible(*finding.id) : std::string("(no id)"));
    const std::string place = findingPlace(finding);
    if (!place.empty())
      text += " at " + place;
    text += ": " + oneLine(finding.text) + "\n";
  }
  if (!set.problem.empty())
    text += "  no verdict: " + visible(set.problem) + "\n";
  else if (set.run == RunState::kNotRun)
    text += "  not run, the XML Schema step did not pass\n";
  else
    text += "  counts: " + countsText(set.counts, false) + "\n";
  return text;
}

std::string jsonFinding(const FindingRecord& finding) {
  std::string text = "{\"kind\": " + jsonString(finding.kind);
  if (finding.kind != "schema")
    text += ", \"id\": " + jsonOptional(finding.id);
  text += ", \"flag\": " + jsonOptional(finding.flag) +
          ", \"severity\": " + jsonString(finding.severity) +
          ", \"overridden\": " + jsonBool(finding.overridden) +
          ", \"rejects\": " + jsonBool(finding.rejects);
  if (finding.kind == "schema")
    text += ", \"line\": " + std::to_string(finding.line) +
            ", \"column\": " + std::to_string(finding.column);
  else
    text += ", \"line\": " + jsonPosition(finding.line) +
            ", \"column\": " + jsonPosition(finding.column) +
            ", \"location\": " + jsonOptional(finding.location) +
            ", \"test\": " + jsonOptional(finding.test);
  return text + ", \"message\": " + jsonString(trimmed(finding.text)) + "}";
}

// The findings as a JSON array, one per line at `indent`.
std::string jsonFindings(const std::vector<FindingRecord>& findings,
                         const std::string& indent) {
  if (findings.empty())
    return "[]";
  std::string text = "[";
  for (size_t i = 0; i < findings.size(); ++i)
    text += (i ? ",\n" : "\n") + indent + "  " + jsonFinding(findings[i]);
  return text + "\n" + indent + "]";
}

std::string jsonSchema(const SchemaRecord& schema) {
  std::string schemas;
  for (const std::string& path : schema.schemas)
    schemas += (schemas.empty() ? "" : ", ") + jsonString(path);
  return "{\n    \"state\": \"" + std::string(schemaStateName(schema.state)) +
         "\",\n    \"schemas\": [" + schemas +
         "],\n    \"findings\": " + jsonFindings(schema.findings, "    ") +
         ",\n    \"problem\": " + jsonText(schema.problem) + "\n  }";
}

std::string jsonRuleSet(const RuleSetRecord& set) {
  return "    {\n      \"stylesheet\": " + jsonString(set.stylesheet) +
         ",\n      \"report\": " + jsonText(set.report) +
         ",\n      \"run\": \"" + runName(set.run) + "\"" +
         ",\n      \"runStatus\": " +
         (set.run == RunState::kNotRun ? "null" : std::to_string(set.runStatus)) +
         ",\n      \"svrl\": " + (set.svrl ? jsonBool(*set.svrl) : "null") +
         ",\n      \"firedRules\": " + jsonBool(set.firedRules) +
         ",\n      \"findings\": " + jsonFindings(set.findings, "      ") +
         ",\n      \"counts\": {" + countsText(set.counts, true) + "}" +
         ",\n      \"problem\": " + jsonText(set.problem) + "\n    }";
}

}  // namespace

std::string textOutput(const DocumentResult& result) {
  std::string text;
  if (result.scenario)
    text += "scenario: " + visible(*result.scenario) + " (" +
            visible(result.configuration.value_or("")) + ")\n";
  text += textSchema(result.schema);
  for (const RuleSetRecord& set : result.ruleSets)
    text += textRuleSet(set);
  if (result.validationReport) {
    text += "report: " + visible(*result.validationReport) + " (assessment " +
            visible(result.assessment.value_or("")) + ", by " +
            (result.assessmentBy == "acceptMatch" ? "the scenario's acceptMatch"
                                                  : "the report's own assessment") +
            ")\n";
    if (result.assessmentOverrides)
      text += std::string("the configuration's report decides: the findings alone would ") +
              (result.verdict == Verdict::kAccepted ? "reject" : "accept") + " the document\n";
  }
  std::string document = visible(result.document);
  // The verdict line ends with the reason code in brackets, for scripts.
  const std::string code =
      result.reasonCode ? " [" + std::string(result.reasonCode) + "]\n" : std::string("\n");
  switch (result.verdict) {
    case Verdict::kAccepted:
      return text + "accepted: " + document + "\n";
    case Verdict::kRejected:
      if (result.rejecting == 0)  // the document's own fault
        return text + "rejected: " + document + ": " + visible(result.reason) + code;
      return text + "rejected: " + document + " (" + std::to_string(result.rejecting) +
             (result.rejecting == 1 ? " finding rejects it)" : " findings reject it)") + code;
    case Verdict::kNone:
      break;
  }
  return text + "no verdict: " + document + ": " + visible(result.reason) + code;
}

std::string jsonOutput(const DocumentResult& result) {
  const char* verdict = verdictName(result.verdict);
  std::string sets;
  for (const RuleSetRecord& set : result.ruleSets)
    sets += (sets.empty() ? "\n" : ",\n") + jsonRuleSet(set);
  return "{\n  \"document\": " + jsonString(result.document) +
         ",\n  \"warningsAsErrors\": " + jsonBool(result.warningsAsErrors) +
         ",\n  \"scenario\": " + jsonOptional(result.scenario) +
         ",\n  \"configuration\": " + jsonOptional(result.configuration) +
         ",\n  \"schema\": " + jsonSchema(result.schema) +
         ",\n  \"ruleSets\": [" + sets + (sets.empty() ? "]" : "\n  ]") +
         ",\n  \"verdict\": \"" + verdict + "\"" +
         ",\n  \"rejectingFindings\": " + std::to_string(result.rejecting) +
         ",\n  \"validationReport\": " + jsonOptional(result.validationReport) +
         ",\n  \"assessment\": " + jsonOptional(result.assessment) +
         ",\n  \"assessmentBy\": " + jsonText(result.assessmentBy) +
         ",\n  \"assessmentOverrides\": " + jsonBool(result.assessmentOverrides) +
         ",\n  \"reason\": " + jsonText(result.reason) +
         ",\n  \"reasonCode\": " +
         (result.reasonCode ? jsonString(result.reasonCode) : std::string("null")) +
         ",\n  \"parserError\": " +
         (result.parserLine > 0
              ? "{\"line\": " + std::to_string(result.parserLine) +
                    ", \"column\": " + std::to_string(result.parserColumn) +
                    ", \"message\": " + jsonString(result.parserMessage) + "}"
              : std::string("null")) +
         ",\n  \"engineMessages\": " + jsonText(result.engineMessages) + "\n}\n";
}

std::string jsonLine(const DocumentResult& result) {
  // Texts are escaped, so every line end in the JSON form is layout.
  const std::string json = jsonOutput(result);
  std::string line;
  for (size_t i = 0; i < json.size(); ++i) {
    if (json[i] != '\n') {
      line += json[i];
      continue;
    }
    while (i + 1 < json.size() && json[i + 1] == ' ')
      ++i;
  }
  return line + "\n";
}
