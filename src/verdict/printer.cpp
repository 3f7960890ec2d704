#include "verdict/printer.h"

#include <cstdio>

#include "verdict/json.h"
#include "verdict/outcome_text.h"

namespace {

void put(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

std::string jsonOptional(const std::optional<std::string>& value) {
  return value ? jsonString(*value) : "null";
}

std::string countsText(const Counts& counts, bool json) {
  std::string text;
  for (const auto& [severity, count] : counts.bySeverity) {
    if (!text.empty())
      text += ", ";
    text += json ? jsonString(severity) + ": " : severity + " ";
    text += std::to_string(count);
  }
  return text;
}

}  // namespace

void Counts::add(const std::string& severity) {
  for (auto& [name, count] : bySeverity) {
    if (name == severity) {
      ++count;
      return;
    }
  }
  bySeverity.emplace_back(severity, 1);
}

void beginDocument(Printer* printer, std::string_view document,
                   bool warningsAsErrors) {
  if (!printer->json)
    return;
  put("{\n  \"document\": " + jsonString(document) +
      ",\n  \"warningsAsErrors\": " + (warningsAsErrors ? "true" : "false") +
      ",\n  \"ruleSets\": [");
}

void beginRuleSet(Printer* printer, std::string_view stylesheet,
                  std::string_view report, RunState run, int runStatus) {
  printer->findingsOpen = false;
  printer->firstFinding = true;
  if (!printer->json) {
    put(std::string(stylesheet) + " -> " + std::string(report) + "\n");
    return;
  }
  put(std::string(printer->firstRuleSet ? "\n" : ",\n") +
      "    {\n      \"stylesheet\": " + jsonString(stylesheet) +
      ",\n      \"report\": " + jsonString(report) +
      ",\n      \"run\": \"" + runName(run) + "\"" +
      ",\n      \"runStatus\": " +
      (run == RunState::kNotRun ? "null" : std::to_string(runStatus)));
  printer->firstRuleSet = false;
}

void beginFindings(Printer* printer, const SummaryHead& head) {
  printer->findingsOpen = true;
  if (printer->json) {
    put(std::string(",\n      \"svrl\": ") + (head.svrl ? "true" : "false") +
        ",\n      \"findings\": [");
  }
}

void printFinding(Printer* printer, const Finding& finding,
                  const std::string& severity) {
  if (!printer->json) {
    std::string line = "  " + severity + " " + finding.id.value_or("(no id)");
    if (finding.location)
      line += " at " + *finding.location;
    put(line + ": " + oneLine(finding.text) + "\n");
    return;
  }
  put(std::string(printer->firstFinding ? "\n" : ",\n") +
      "        {\"kind\": " + jsonString(finding.kind) +
      ", \"id\": " + jsonOptional(finding.id) +
      ", \"flag\": " + jsonOptional(finding.flag) +
      ", \"severity\": " + jsonString(severity) +
      ", \"location\": " + jsonOptional(finding.location) +
      ", \"message\": " + jsonString(trimmed(finding.text)) + "}");
  printer->firstFinding = false;
}

void endRuleSet(Printer* printer, const Counts& counts,
                std::string_view problem) {
  if (!printer->json) {
    if (!problem.empty())
      put("  no verdict: " + std::string(problem) + "\n");
    else
      put("  counts: " + countsText(counts, false) + "\n");
    return;
  }
  std::string text;
  if (!printer->findingsOpen)
    text += ",\n      \"svrl\": null,\n      \"findings\": [";
  text += printer->firstFinding ? "]" : "\n      ]";
  text += ",\n      \"counts\": {" + countsText(counts, true) + "}";
  text += ",\n      \"problem\": " +
          (problem.empty() ? std::string("null") : jsonString(problem));
  put(text + "\n    }");
}

void endDocument(Printer* printer, std::string_view document, Verdict verdict,
                 long long rejecting, std::string_view reason) {
  if (!printer->json) {
    switch (verdict) {
      case Verdict::kAccepted:
        put("accepted: " + std::string(document) + "\n");
        break;
      case Verdict::kRejected:
        put("rejected: " + std::string(document) + " (" +
            std::to_string(rejecting) +
            (rejecting == 1 ? " finding rejects it)\n" : " findings reject it)\n"));
        break;
      case Verdict::kNone:
        put("no verdict: " + std::string(document) + ": " +
            std::string(reason) + "\n");
        break;
    }
    std::fflush(stdout);
    return;
  }
  const char* name = verdict == Verdict::kAccepted   ? "accepted"
                     : verdict == Verdict::kRejected ? "rejected"
                                                     : "no verdict";
  put(std::string(printer->firstRuleSet ? "]" : "\n  ]") +
      ",\n  \"verdict\": \"" + name + "\"" +
      ",\n  \"rejectingFindings\": " + std::to_string(rejecting) +
      ",\n  \"reason\": " +
      (verdict == Verdict::kNone ? jsonString(reason) : std::string("null")) +
      "\n}\n");
  std::fflush(stdout);
}
