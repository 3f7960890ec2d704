#include "verdict/outcome_text.h"

#include "verdict/summary_line.h"

const char* runName(RunState run) {
  switch (run) {
    case RunState::kCompleted: return "completed";
    case RunState::kFailed: return "failed";
    case RunState::kNotRun: return "not run";
  }
  return "";
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

const char* verdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kAccepted: return "accepted";
    case Verdict::kRejected: return "rejected";
    case Verdict::kNone: return "no verdict";
  }
  return "";
}

std::string findingPlace(const FindingRecord& finding) {
  if (finding.line > 0)
    return "line " + std::to_string(finding.line) +
           (finding.column > 0 ? ", column " + std::to_string(finding.column) : std::string());
  return finding.location ? visible(*finding.location) : std::string();
}

std::string findingLine(const FindingRecord& finding) {
  std::string line = visible(finding.severity);
  if (finding.kind != "schema")
    line += " " + (finding.id ? visible(*finding.id) : std::string("(no id)"));
  const std::string place = findingPlace(finding);
  if (!place.empty())
    line += " at " + place;
  return line + ": " + oneLine(finding.text);
}
