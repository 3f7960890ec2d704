#include "verdict/html_page.h"

#include "path/path_text.h"
#include "verdict/markup.h"
#include "verdict/outcome_text.h"

namespace {

const char kStyle[] =
    "body{font-family:sans-serif;margin:2em;color:#222}"
    "h1{padding:.3em .6em;border-radius:4px;color:#fff}"
    ".accepted{background:#2e7d32}.rejected{background:#c62828}"
    ".none{background:#6d4c41}"
    "table{border-collapse:collapse;width:100%;margin-bottom:1.5em}"
    "th,td{border:1px solid #ccc;padding:.3em .5em;text-align:left;vertical-align:top}"
    "th{background:#f0f0f0}td.loc{font-family:monospace;font-size:.85em;word-break:break-all}"
    ".sev-fatal,.sev-error{color:#c62828;font-weight:bold}.sev-warning{color:#e65100}"
    "pre{background:#f6f6f6;padding:.6em;white-space:pre-wrap}dt{font-weight:bold}";

std::string cell(const std::string& text, const char* cssClass = nullptr) {
  return std::string("<td") + (cssClass ? std::string(" class=\"") + cssClass + "\"" : "") +
         ">" + markupText(text) + "</td>";
}

std::string severityCell(const FindingRecord& finding) {
  return "<td class=\"sev-" + markupText(finding.severity) + "\">" +
         markupText(finding.severity) + (finding.rejects ? " (rejects)" : "") + "</td>";
}

std::string schemaSection(const SchemaRecord& schema) {
  if (schema.state == SchemaState::kNotAsked)
    return "";
  std::string text = "<h2>XML Schema</h2>\n";
  if (!schema.problem.empty())
    text += "<p>" + markupText(schema.problem) + "</p>\n";
  if (schema.findings.empty())
    return text + (schema.state == SchemaState::kValid ? "<p>Valid.</p>\n" : "");
  text += "<table><tr><th>Severity</th><th>Line</th><th>Column</th><th>Message</th></tr>\n";
  for (const FindingRecord& finding : schema.findings) {
    text += "<tr>" + severityCell(finding) +
            cell(finding.line > 0 ? std::to_string(finding.line) : "") +
            cell(finding.column > 0 ? std::to_string(finding.column) : "") +
            cell(finding.text) + "</tr>\n";
  }
  return text + "</table>\n";
}

std::string ruleSetSection(const RuleSetRecord& ruleSet) {
  std::string text = "<h2>Rules: " + markupText(ruleSet.stylesheet) + "</h2>\n";
  if (ruleSet.run == RunState::kNotRun)
    return text + "<p>Not run" +
           (ruleSet.problem.empty() ? "" : ": " + markupText(ruleSet.problem)) + ".</p>\n";
  if (!ruleSet.problem.empty())
    text += "<p>No verdict: " + markupText(ruleSet.problem) + "</p>\n";
  if (ruleSet.findings.empty())
    return text + (ruleSet.problem.empty() ? "<p>No findings.</p>\n" : "");
  text += "<table><tr><th>Severity</th><th>Rule</th><th>Message</th><th>Location</th></tr>\n";
  for (const FindingRecord& finding : ruleSet.findings) {
    text += "<tr>" + severityCell(finding) + cell(finding.id.value_or("")) +
            cell(finding.text) + cell(finding.location.value_or(""), "loc") + "</tr>\n";
  }
  return text + "</table>\n";
}

}  // namespace

std::string htmlPage(const DocumentResult& result) {
  const std::string verdict = verdictName(result.verdict);
  const bool accepted = result.verdict == Verdict::kAccepted;
  const bool rejected = result.verdict == Verdict::kRejected;
  const char* verdictClass = accepted ? "accepted" : rejected ? "rejected" : "none";
  const char* heading = accepted ? "Accepted" : rejected ? "Rejected" : "No verdict";
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
      "style-src 'unsafe-inline'\">\n<title>" +
      markupText(verdict + ": " + result.document) + "</title>\n<style>" + kStyle +
      "</style>\n</head>\n<body>\n<h1 class=\"" + verdictClass + "\">" +
      heading +
      "</h1>\n<dl>\n<dt>Document</dt><dd>" + markupText(result.document) + "</dd>\n";
  if (result.scenario)
    page += "<dt>Scenario</dt><dd>" + markupText(*result.scenario) + "</dd>\n";
  if (result.verdict == Verdict::kRejected && result.rejecting > 0)
    page += "<dt>Findings that reject it</dt><dd>" + std::to_string(result.rejecting) + "</dd>\n";
  if (result.reasonCode)
    page += "<dt>Reason</dt><dd>" + markupText(result.reason) + " <code class=\"reason\">" +
            markupText(result.reasonCode) + "</code></dd>\n";
  if (result.warningsAsErrors)
    page += "<dt>Warnings</dt><dd>count as errors</dd>\n";
  page += "</dl>\n";
  if (!result.engineMessages.empty())
    page += "<h2>Engine messages</h2>\n<pre>" + markupText(result.engineMessages) + "</pre>\n";
  page += schemaSection(result.schema);
  for (const RuleSetRecord& ruleSet : result.ruleSets)
    page += ruleSetSection(ruleSet);
  return page + "</body>\n</html>\n";
}

std::u16string htmlPageName(std::u16string_view document) {
  PathText text{hostGrammar()};
  return std::u16string(document.substr(text.filenameStart(document))) + u".html";
}
