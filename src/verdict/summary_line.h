// The line summary of one report, as the bundled summary stylesheet
// (summary.xsl) writes it, what a finding's flag means for the verdict,
// and how texts are made safe to print on one line.
#ifndef XSLVALIDATE_VERDICT_SUMMARY_LINE_H_
#define XSLVALIDATE_VERDICT_SUMMARY_LINE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The summary's first line: whether the report is SVRL and how many
// svrl:fired-rule elements it holds; whether it is a schema report and
// says the document is valid; or, when it is neither, the name of its root
// element as {namespace}local.
struct SummaryHead {
  bool svrl = false;
  long long firedRules = 0;
  bool schemaReport = false;
  bool valid = false;  // schema reports: valid="true"
  std::string rootName;
  // Not SVRL and not a schema report: the namespace URIs of its elements.
  std::vector<std::string> namespaces;
};

// One svrl:failed-assert or svrl:successful-report. An attribute the
// report leaves out is nullopt; text is the finding's message as written.
struct Finding {
  std::string kind;  // "failed-assert" or "successful-report"
  std::optional<std::string> id;
  std::optional<std::string> flag;
  std::optional<std::string> location;
  std::optional<std::string> test;
  std::string text;
};

// Parses the first line (without its line end). False when it is none of
// "svrl<TAB>count", "schema-report<TAB>true|false" and "not-svrl<TAB>name".
bool parseSummaryHead(std::string_view line, SummaryHead* head);

// Parses one finding line (without its line end): six tab-separated
// fields, escapes undone, "\-" read as an absent attribute. False, with
// `finding` unspecified, when the line does not have that form.
bool parseFindingLine(std::string_view line, Finding* finding);

// Splits a summary line at its tabs and undoes each field's escapes.
// False when a field holds a backslash not followed by one of \ t n r.
bool splitFields(std::string_view line, std::vector<std::string>* fields);

// One finding of a schema report.
struct SchemaFinding {
  std::string severity;  // as the report wrote it
  long long line = 0;    // 0 when the report gives none
  long long column = 0;
  std::string text;
};

// Parses one schema finding line: "schema", severity, line, column, text,
// tab-separated, escapes undone. False when the line does not have that
// form (a line or column that is not a number included).
bool parseSchemaFindingLine(std::string_view line, SchemaFinding* finding);

// A flag as the verdict compares it: any Unicode white space around it
// dropped and ASCII letters in lower case ("ERROR\u00A0" is "error").
std::string normalizedFlag(std::string_view flag);

// True for the severities the verdict knows: fatal, error, warning and
// information.
bool knownSeverity(std::string_view severity);

// The finding's severity before any override: its normalized flag when
// that is a known severity, "error" when the flag is absent, empty or
// unknown. A flag the verdict does not know never lets a document pass:
// such a finding counts as an error.
std::string severityOf(const Finding& finding);

// True when a finding of `severity` rejects the document: "fatal" and
// "error" always, "warning" too when `warningsAsErrors`.
bool rejects(std::string_view severity, bool warningsAsErrors);

// `text` on one line for a person: leading and trailing white space
// dropped, each inner run of spaces, tabs and line breaks made one space,
// and every other control character made visible (see `visible`).
std::string oneLine(std::string_view text);

// `text` with every character that could move the cursor, start a new
// line or reach the terminal as a command made visible as an escape:
// C0 controls and DEL as \n, \t, \r or \xHH; C1 controls and the Unicode
// line and paragraph separators as \uHHHH; a backslash stays as it is.
// Bytes that are not UTF-8 are shown as \xHH too.
std::string visible(std::string_view text);

// `text` without leading and trailing spaces, tabs and line breaks.
std::string trimmed(std::string_view text);

#endif  // XSLVALIDATE_VERDICT_SUMMARY_LINE_H_
