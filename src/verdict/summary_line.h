// The line summary of one report, as the bundled summary stylesheet
// (summary.xsl) writes it, and what a finding in it means for the verdict.
#ifndef XSLVALIDATE_VERDICT_SUMMARY_LINE_H_
#define XSLVALIDATE_VERDICT_SUMMARY_LINE_H_

#include <optional>
#include <string>
#include <string_view>

// The summary's first line: whether the report is SVRL and, when it is
// not, the name of its root element as {namespace}local.
struct SummaryHead {
  bool svrl = false;
  std::string rootName;
};

// One svrl:failed-assert or svrl:successful-report. An attribute the
// report leaves out is nullopt; text is the finding's message as written.
struct Finding {
  std::string kind;  // "failed-assert" or "successful-report"
  std::optional<std::string> id;
  std::optional<std::string> flag;
  std::optional<std::string> location;
  std::string text;
};

// Parses the first line (without its line end). False when it is neither
// "svrl" nor "not-svrl<TAB>name".
bool parseSummaryHead(std::string_view line, SummaryHead* head);

// Parses one finding line (without its line end): five tab-separated
// fields, escapes undone, "\-" read as an absent attribute. False, with
// `finding` unspecified, when the line does not have that form.
bool parseFindingLine(std::string_view line, Finding* finding);

// The finding's severity: its flag in ASCII lower case, or "error" when
// the flag is absent or empty.
std::string severityOf(const Finding& finding);

// True when a finding of `severity` rejects the document: "fatal" and
// "error" always, "warning" too when `warningsAsErrors`.
bool rejects(std::string_view severity, bool warningsAsErrors);

// `text` on one line for a person: leading and trailing white space
// dropped, each inner run of spaces, tabs and line breaks made one space.
std::string oneLine(std::string_view text);

// `text` without leading and trailing spaces, tabs and line breaks.
std::string trimmed(std::string_view text);

#endif  // XSLVALIDATE_VERDICT_SUMMARY_LINE_H_
