#include "verdict/json_line.h"

#include "verdict/json.h"
#include "verdict/outcome_text.h"

namespace {

std::string optionalText(const std::optional<std::string>& value) {
  return value ? jsonString(*value) : "null";
}

std::string textOrNull(const std::string& value) {
  return value.empty() ? "null" : jsonString(value);
}

std::string findingsArray(const std::vector<FindingRecord>& findings) {
  std::string text = "[";
  for (const FindingRecord& f : findings) {
    if (text.size() > 1)
      text += ",";
    text += "{\"kind\":" + jsonString(f.kind) + ",\"id\":" + optionalText(f.id) +
            ",\"flag\":" + optionalText(f.flag) + ",\"severity\":" + jsonString(f.severity) +
            ",\"rejects\":" + (f.rejects ? "true" : "false") +
            ",\"location\":" + optionalText(f.location) +
            ",\"line\":" + (f.line > 0 ? std::to_string(f.line) : "null") +
            ",\"column\":" + (f.column > 0 ? std::to_string(f.column) : "null") +
            ",\"message\":" + jsonString(f.text) + "}";
  }
  return text + "]";
}

const char* schemaStateName(SchemaState state) {
  switch (state) {
    case SchemaState::kNotAsked: return "not asked";
    case SchemaState::kValid: return "valid";
    case SchemaState::kInvalid: return "invalid";
    case SchemaState::kFailed: return "failed";
    case SchemaState::kUnsupported: return "unsupported";
  }
  return "";
}

std::string schemaObject(const SchemaRecord& schema) {
  if (schema.state == SchemaState::kNotAsked)
    return "null";
  std::string schemas = "[";
  for (const std::string& path : schema.schemas)
    schemas += (schemas.size() > 1 ? "," : "") + jsonString(path);
  return "{\"state\":" + jsonString(schemaStateName(schema.state)) +
         ",\"schemas\":" + schemas + "],\"findings\":" + findingsArray(schema.findings) +
         ",\"problem\":" + textOrNull(schema.problem) + "}";
}

std::string ruleSetObject(const RuleSetRecord& ruleSet) {
  std::string counts = "{";
  for (const auto& [severity, count] : ruleSet.counts.bySeverity)
    counts += (counts.size() > 1 ? "," : "") + jsonString(severity) + ":" + std::to_string(count);
  return "{\"stylesheet\":" + jsonString(ruleSet.stylesheet) +
         ",\"report\":" + jsonString(ruleSet.report) + ",\"run\":\"" + runName(ruleSet.run) +
         "\",\"runStatus\":" +
         (ruleSet.run == RunState::kNotRun ? "null" : std::to_string(ruleSet.runStatus)) +
         ",\"findings\":" + findingsArray(ruleSet.findings) + ",\"counts\":" + counts +
         "},\"problem\":" + textOrNull(ruleSet.problem) + "}";
}

}  // namespace

std::string documentJsonLine(const DocumentResult& result) {
  std::string ruleSets = "[";
  for (const RuleSetRecord& ruleSet : result.ruleSets)
    ruleSets += (ruleSets.size() > 1 ? "," : "") + ruleSetObject(ruleSet);
  return "{\"document\":" + jsonString(result.document) +
         ",\"scenario\":" + optionalText(result.scenario) +
         ",\"warningsAsErrors\":" + (result.warningsAsErrors ? "true" : "false") +
         ",\"schema\":" + schemaObject(result.schema) + ",\"ruleSets\":" + ruleSets +
         "],\"verdict\":" + jsonString(verdictName(result.verdict)) +
         ",\"rejectingFindings\":" + std::to_string(result.rejecting) +
         ",\"reason\":" + (result.verdict == Verdict::kNone ? jsonString(result.reason) : "null") +
         ",\"engineMessages\":" + textOrNull(result.engineMessages) + "}\n";
}
