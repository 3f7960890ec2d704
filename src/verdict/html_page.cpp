#include "verdict/html_page.h"

#include <cstring>

#include "path/path_text.h"
#include "verdict/markup.h"
#include "verdict/outcome_text.h"
#include "verdict/reason_code.h"
#include "verdict/shown.h"

namespace {

// Narrow screens (phones) show each table row as a block of labelled
// lines instead of columns.
const char kStyle[] =
    "body{font-family:sans-serif;margin:1em auto;padding:0 1em;max-width:60em;color:#222;"
    "line-height:1.4}"
    "h1{padding:.3em .6em;border-radius:4px;color:#fff;font-size:1.6em}"
    "h2{font-size:1.2em;margin-top:1.5em}"
    ".accepted{background:#2e7d32}.rejected{background:#c62828}"
    ".none{background:#6d4c41}"
    "dl{display:grid;grid-template-columns:max-content 1fr;gap:.2em 1em}"
    "dt{font-weight:bold}dd{margin:0;overflow-wrap:anywhere}"
    "table{border-collapse:collapse;width:100%;margin-bottom:1.5em}"
    "th,td{border:1px solid #ccc;padding:.3em .5em;text-align:left;vertical-align:top}"
    "th{background:#f0f0f0;white-space:nowrap}td.message,td.value{overflow-wrap:anywhere}"
    "td.value{font-family:monospace}"
    ".sev-fatal,.sev-error{color:#c62828;font-weight:bold}.sev-warning{color:#e65100}"
    ".note{color:#555}"
    "@media (max-width:40em){table,tbody,tr,td{display:block;width:auto}"
    "tr:first-child{display:none}tr{border:1px solid #ccc;margin-bottom:.6em}"
    "td{border:0;padding:.15em .5em}"
    "td::before{content:attr(data-label) \": \";font-weight:bold}"
    "dl{grid-template-columns:1fr}dd{margin-bottom:.4em}}";

std::string cell(const char* label, const std::string& text, const char* cssClass = nullptr) {
  return std::string("<td data-label=\"") + label + "\"" +
         (cssClass ? std::string(" class=\"") + cssClass + "\"" : "") + ">" +
         markupText(text) + "</td>";
}

std::string number(long long value) {
  return value > 0 ? std::to_string(value) : "";
}

// The severity, with the flag the report wrote when it differs (an
// override, or a flag the verdict does not know).
std::string severityCell(const FindingRecord& finding) {
  std::string text = finding.severity;
  if (finding.flag && (finding.overridden || *finding.flag != finding.severity))
    text += " (flag " + *finding.flag + ")";
  if (finding.rejects)
    text += ", rejects";
  return "<td data-label=\"Severity\" class=\"sev-" + markupText(finding.severity) + "\">" +
         markupText(text) + "</td>";
}

// The last part of a path as the host writes paths: a page never shows
// a folder of the server.
std::string withoutFolder(const std::string& path) {
  std::u16string text = fromUtf8(path);
  PathText grammar{hostGrammar()};
  return shown(std::u16string_view(text).substr(grammar.filenameStart(text)));
}

bool is(const char* code, const char* expected) {
  return code && std::strcmp(code, expected) == 0;
}

// Why the document is not accepted, in words for the supplier, from the
// reason code alone: the check's own reason may name server files.
std::string reasonInWords(const DocumentResult& result) {
  const char* code = result.reasonCode;
  const std::string count = std::to_string(result.rejecting);
  const bool one = result.rejecting == 1;
  if (is(code, reason_code::kRuleFindings))
    return count + (one ? " finding" : " findings") + " of the business rules " +
           (one ? "rejects" : "reject") + " the invoice: see the rule sets below.";
  if (is(code, reason_code::kSchemaInvalid))
    return "The document does not follow the XML Schema of its format (" + count +
           (one ? " error" : " errors") + ", listed below); its business rules were not checked.";
  if (is(code, reason_code::kNotWellFormed) && result.parserLine > 0)
    return "The document is not well-formed XML, so it cannot be read: the XML parser "
           "stopped at line " + std::to_string(result.parserLine) + ", column " +
           std::to_string(result.parserColumn) + " (" + result.parserMessage +
           "). Send it again as the XML file your software exports.";
  if (is(code, reason_code::kNotWellFormed))
    return "The document is empty or is not well-formed XML, so it cannot be read. "
           "Send it again as the XML file your software exports.";
  if (is(code, reason_code::kDoctypeRefused))
    return "The document declares a DOCTYPE, which is not accepted. Send it without one.";
  if (is(code, reason_code::kNoScenarioMatched))
    return "The document is not of a kind this validation accepts (no scenario of the "
           "configuration matches it).";
  if (is(code, reason_code::kWrongRuleSet))
    return "The rules used are for another kind of document, so there is no verdict. "
           "This is not a fault of the document.";
  if (is(code, reason_code::kRuleEngineError))
    return "A rule set could not be run, so there is no verdict. This is not a fault of the "
           "document; the operator has the details.";
  return "The validation could not be completed, so there is no verdict. This is not a "
         "fault of the document; the operator has the details.";
}

std::string identitySection(const DocumentResult& result) {
  if (!result.identity)
    return "";
  const InvoiceIdentity& id = *result.identity;
  std::string text = "<h2>Invoice</h2>\n";
  if (id.syntax.empty())
    return text + "<p class=\"note\">Not a UBL or CII invoice: nothing to identify it by.</p>\n";
  const char* kind = id.syntax == "ubl-invoice"      ? "UBL invoice"
                     : id.syntax == "ubl-creditnote" ? "UBL credit note"
                                                     : "CII invoice";
  auto entry = [](const char* label, const std::string& value) {
    return std::string("<dt>") + label + "</dt><dd>" +
           (value.empty() ? "<span class=\"note\">not given</span>" : markupText(value)) +
           "</dd>\n";
  };
  return text + "<dl class=\"identity\">\n" + entry("Format", kind) +
         entry("Invoice number", id.number) + entry("Issue date", id.issueDate) +
         entry("Seller", id.seller) + entry("Buyer", id.buyer) +
         entry("Amount due", id.total.empty() ? std::string()
                                              : id.total + (id.currency.empty() ? "" : " " +
                                                                id.currency)) +
         "</dl>\n";
}

std::string schemaSection(const SchemaRecord& schema) {
  if (schema.state == SchemaState::kNotAsked)
    return "";
  std::string text = "<h2>XML Schema</h2>\n";
  if (schema.state == SchemaState::kFailed || schema.state == SchemaState::kUnsupported)
    text += "<p>The XML Schema check could not be done; the operator has the details.</p>\n";
  if (schema.findings.empty())
    return text + (schema.state == SchemaState::kValid ? "<p>Valid.</p>\n" : "");
  text += "<table class=\"findings\"><tr><th>Severity</th><th>Line</th><th>Column</th>"
          "<th>Message</th></tr>\n";
  for (const FindingRecord& finding : schema.findings) {
    text += "<tr>" + severityCell(finding) + cell("Line", number(finding.line), "line") +
            cell("Column", number(finding.column), "column") +
            cell("Message", finding.text, "message") + "</tr>\n";
  }
  return text + "</table>\n";
}

std::string ruleSetSection(const RuleSetRecord& ruleSet) {
  std::string text = "<h2>Rules: " +
                     markupText(ruleSet.name.empty() ? withoutFolder(ruleSet.stylesheet)
                                                     : ruleSet.name) +
                     "</h2>\n";
  if (ruleSet.run == RunState::kNotRun)
    return text + "<p>Not run" +
           (ruleSet.problem.empty() ? " (the XML Schema check did not pass)"
                                    : ": an earlier rule set could not be run") +
           ".</p>\n";
  if (!ruleSet.problem.empty())
    text += is(ruleSet.problemCode, reason_code::kWrongRuleSet)
                ? "<p>These rules are for another kind of document.</p>\n"
                : "<p>This rule set could not be run or its report could not be read; the "
                  "operator has the details.</p>\n";
  if (ruleSet.findings.empty())
    return text + (ruleSet.problem.empty() ? "<p>No findings.</p>\n" : "");
  text += "<table class=\"findings\"><tr><th>Severity</th><th>Rule</th><th>Line</th>"
          "<th>Column</th><th>Message</th><th>Value</th></tr>\n";
  for (const FindingRecord& finding : ruleSet.findings) {
    text += "<tr>" + severityCell(finding) + cell("Rule", finding.id.value_or("")) +
            cell("Line", number(finding.line), "line") +
            cell("Column", number(finding.column), "column") + cell("Message", finding.text, "message") +
            cell("Value", finding.value.value_or(""), "value") + "</tr>\n";
  }
  return text + "</table>\n";
}

// Whether any rule finding is there to be placed by line.
bool anyRuleFinding(const DocumentResult& result) {
  for (const RuleSetRecord& set : result.ruleSets)
    if (!set.findings.empty())
      return true;
  return false;
}

}  // namespace

std::string htmlPage(const DocumentResult& result) {
  const std::string verdict = verdictName(result.verdict);
  const bool accepted = result.verdict == Verdict::kAccepted;
  const bool rejected = result.verdict == Verdict::kRejected;
  const char* verdictClass = accepted ? "accepted" : rejected ? "rejected" : "none";
  const char* heading = accepted ? "Accepted" : rejected ? "Rejected" : "No verdict";
  const std::string document = withoutFolder(result.document);
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
      "style-src 'unsafe-inline'\">\n<title>" +
      markupText(verdict + ": " + document) + "</title>\n<style>" + kStyle +
      "</style>\n</head>\n<body>\n<h1 class=\"" + verdictClass + "\">" + heading +
      "</h1>\n<dl>\n<dt>Document</dt><dd>" + markupText(document) + "</dd>\n";
  if (result.scenario)
    page += "<dt>Checked as</dt><dd>" + markupText(*result.scenario) + "</dd>\n";
  if (result.reasonCode)
    page += "<dt>Reason</dt><dd class=\"reason\">" + markupText(reasonInWords(result)) +
            " <code class=\"reason-code\">" + markupText(result.reasonCode) + "</code></dd>\n";
  if (result.warningsAsErrors)
    page += "<dt>Warnings</dt><dd>count as errors</dd>\n";
  page += "</dl>\n";
  page += identitySection(result);
  if (anyRuleFinding(result) && !result.sourceLines)
    page += std::string("<p class=\"note lines\">Lines and columns of the rule findings: ") +
            (result.identity ? "the engine on this host cannot give them."
                             : "they could not be read from the document.") +
            "</p>\n";
  page += schemaSection(result.schema);
  for (const RuleSetRecord& ruleSet : result.ruleSets)
    page += ruleSetSection(ruleSet);
  return page + "</body>\n</html>\n";
}

std::u16string htmlPageName(std::u16string_view document) {
  PathText text{hostGrammar()};
  return std::u16string(document.substr(text.filenameStart(document))) + u".html";
}
