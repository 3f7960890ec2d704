#include "verdict/junit.h"

#include <cstdio>

#include "path/path_text.h"
#include "verdict/markup.h"
#include "verdict/outcome_text.h"
#include "verdict/summary_line.h"

namespace {

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string attribute(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + markupText(value) + "\"";
}

// What a rule set is called in a failure: the name the page gives it (its
// resource name in the configuration), else its file name without the
// folder, so that no path of the machine that checked reaches the report.
std::string ruleSetName(const RuleSetRecord& ruleSet) {
  if (!ruleSet.name.empty())
    return visible(ruleSet.name);
  std::string_view path = ruleSet.stylesheet;
  // The stylesheet is kept as UTF-8 for display; its last separator
  // is found on the bytes, which never split a character there.
  const size_t slash = path.find_last_of(hostGrammar() == PathGrammar::Windows ? "/\\" : "/");
  return visible(std::string(slash == std::string_view::npos ? path : path.substr(slash + 1)));
}

// The findings that reject the document, one a line: what a reader of a
// failed test must mend (information and other findings are in the
// reports).
std::string findingLines(const DocumentResult& result) {
  std::string text;
  for (const FindingRecord& finding : result.schema.findings)
    if (finding.rejects)
      text += "schema: " + findingLine(finding) + "\n";
  for (const RuleSetRecord& ruleSet : result.ruleSets)
    for (const FindingRecord& finding : ruleSet.findings)
      if (finding.rejects)
        text += ruleSetName(ruleSet) + ": " + findingLine(finding) + "\n";
  return text;
}

// The first finding that rejects the document, as a failure's message:
// its rule ("schema" for the XML Schema step), its message and where it
// is, and how many more there are.
std::string firstRejection(const DocumentResult& result) {
  const FindingRecord* first = nullptr;
  for (const FindingRecord& finding : result.schema.findings)
    if (!first && finding.rejects)
      first = &finding;
  for (const RuleSetRecord& ruleSet : result.ruleSets)
    for (const FindingRecord& finding : ruleSet.findings)
      if (!first && finding.rejects)
        first = &finding;
  if (!first)
    return std::string();
  std::string text = first->kind == "schema" ? std::string("schema")
                                             : visible(first->id.value_or("(no id)"));
  text += ": " + oneLine(first->text);
  const std::string place = findingPlace(*first);
  if (first->line > 0)
    text += " (" + place + ")";
  if (result.rejecting > 1)
    text += " (and " + std::to_string(result.rejecting - 1) +
            (result.rejecting == 2 ? " more finding)" : " more findings)");
  return text;
}

// The reason with its code, as a failure's or error's message.
std::string reasonMessage(const DocumentResult& result) {
  return result.reasonCode ? result.reason + " [" + result.reasonCode + "]" : result.reason;
}

std::string testCase(const TimedResult& timed) {
  const DocumentResult& result = *timed.result;
  std::string text = "    <testcase" +
                     attribute("classname", result.scenario.value_or("xslvalidate-verdict")) +
                     attribute("name", result.document) + attribute("file", result.document) +
                     attribute("time", seconds(timed.seconds));
  switch (result.verdict) {
    case Verdict::kAccepted:
      return text + "/>\n";
    case Verdict::kRejected:
      return text + ">\n      <failure type=\"rejected\"" +
             attribute("message", result.rejecting > 0 ? firstRejection(result)
                                                       : visible(reasonMessage(result))) +
             ">" +
             markupText(result.rejecting > 0
                            ? findingLines(result)
                            : visible(result.reason) + "\n" + result.engineMessages) +
             "</failure>\n    </testcase>\n";
    case Verdict::kNone:
      return text + ">\n      <error type=\"no verdict\"" +
             attribute("message", visible(reasonMessage(result))) + ">" +
             markupText(visible(result.reason) + "\n" + result.engineMessages) +
             "</error>\n    </testcase>\n";
  }
  return text + "/>\n";
}

}  // namespace

std::string junitReport(const std::vector<TimedResult>& results, const std::string& suite,
                        const std::string& timestamp) {
  long long failures = 0, errors = 0;
  double total = 0;
  std::string cases;
  for (const TimedResult& timed : results) {
    failures += timed.result->verdict == Verdict::kRejected;
    errors += timed.result->verdict == Verdict::kNone;
    total += timed.seconds;
    cases += testCase(timed);
  }
  const std::string counts = attribute("tests", std::to_string(results.size())) +
                             attribute("failures", std::to_string(failures)) +
                             attribute("errors", std::to_string(errors)) +
                             attribute("skipped", "0") + attribute("time", seconds(total));
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + attribute("name", suite) +
         counts + ">\n  <testsuite" + attribute("name", suite) + counts +
         attribute("timestamp", timestamp) + ">\n" + cases + "  </testsuite>\n</testsuites>\n";
}
