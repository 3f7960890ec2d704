// The batch's output forms over hand-made records: the summary and the
// call's status, JUnit XML against the shape CI servers read, JSON Lines,
// and the HTML page's escaping.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "verdict/html_page.h"
#include "verdict/printer.h"
#include "verdict/junit.h"
#include "verdict/tally.h"

namespace {

// Text no output form may pass on raw: markup, quotes, a control
// character and (kHostile) a byte that is not UTF-8, which JSON text
// carries as a lone surrogate escape that strict parsers refuse.
const std::string kMarkup = "<script>alert('x')</script> & \"q\" \x01 end";
const std::string kHostile = kMarkup + " \xFF";

FindingRecord ruleFinding(const std::string& id, const std::string& severity, bool rejects,
                          const std::string& text = "Amount due is wrong") {
  FindingRecord f;
  f.kind = "failed-assert";
  f.id = id;
  f.flag = severity;
  f.severity = severity;
  f.rejects = rejects;
  f.location = "/Invoice[1]/cbc:ID[1]";
  f.text = text;
  return f;
}

DocumentResult accepted() {
  DocumentResult r;
  r.document = "inbox/good.xml";
  r.verdict = Verdict::kAccepted;
  RuleSetRecord set;
  set.stylesheet = "rules/PEPPOL.xslt";
  set.run = RunState::kCompleted;
  set.findings.push_back(ruleFinding("W-1", "warning", false));
  r.ruleSets.push_back(set);
  return r;
}

DocumentResult rejected() {
  DocumentResult r;
  r.document = "inbox/sub/bad.xml";
  r.scenario = "PEPPOL UBL";
  r.verdict = Verdict::kRejected;
  r.rejecting = 3;
  r.reason = "3 findings reject the document";
  r.reasonCode = "rule-findings";
  r.schema.state = SchemaState::kValid;
  RuleSetRecord set;
  set.stylesheet = "rules/PEPPOL.xslt";
  set.run = RunState::kCompleted;
  set.findings = {ruleFinding("BR-01", "fatal", true, kHostile),
                  ruleFinding("BR-01", "fatal", true), ruleFinding("BR-CO-10", "error", true),
                  ruleFinding("BR-I-1", "information", false, "just so you know")};
  r.ruleSets.push_back(set);
  return r;
}

DocumentResult withoutVerdict() {
  DocumentResult r;
  r.document = "inbox/broken & <odd>.xml";
  r.verdict = Verdict::kNone;
  r.reason = "rules/PEPPOL.xslt: the run failed with status 2";
  r.reasonCode = "rule-engine-error";
  r.engineMessages = "Error on line 3 column 7 of broken.xml:\n  SXXP0003 not well-formed\n";
  RuleSetRecord set;
  set.stylesheet = "rules/PEPPOL.xslt";
  set.run = RunState::kFailed;
  set.runStatus = 2;
  set.problem = "the run failed with status 2";
  r.ruleSets.push_back(set);
  return r;
}

TEST(BatchTally, StatusFollowsTheWorstVerdict) {
  struct Case { std::vector<DocumentResult> results; int status; };
  for (const Case& c : std::initializer_list<Case>{
           {{}, 0},
           {{accepted(), accepted()}, 0},
           {{accepted(), rejected()}, 1},
           {{withoutVerdict(), accepted()}, 3},
           {{rejected(), withoutVerdict()}, 3}}) {
    Tally tally;
    for (const DocumentResult& r : c.results) addToTally(&tally, r);
    EXPECT_EQ(c.status, tallyStatus(tally)) << c.results.size();
  }
}

TEST(BatchTally, SummaryCountsVerdictsAndRulesByDocuments) {
  Tally tally;
  DocumentResult second = rejected();
  second.ruleSets[0].findings.erase(second.ruleSets[0].findings.begin() + 2);  // only BR-01
  DocumentResult notXml;  // rejected for its own fault: its code counts as the rule
  notXml.verdict = Verdict::kRejected;
  notXml.reason = "the document is empty";
  notXml.reasonCode = "not-well-formed";
  for (const DocumentResult& r : {accepted(), rejected(), second, withoutVerdict(), notXml})
    addToTally(&tally, r);
  EXPECT_EQ(
      "documents: 5 (accepted 1, rejected 3, no verdict 1)\n"
      "rejected most often by: BR-01 (2 documents), BR-CO-10 (1 document), "
      "not-well-formed (1 document)\n"
      "no verdict because of: rule-engine-error (1 document)\n",
      tallyText(tally));
  EXPECT_EQ(
      "documents: 5 (accepted 1, rejected 3, no verdict 1)\n"
      "rejected most often by: BR-01 (2 documents)\n"
      "no verdict because of: rule-engine-error (1 document)\n",
      tallyText(tally, 1));
}

TEST(BatchTally, DocumentsWithoutVerdictAreNotCountedAsRejections) {
  // A document whose rule set found rejecting findings but whose report
  // step failed has no verdict: its findings rejected nothing.
  DocumentResult failedLater = rejected();
  failedLater.verdict = Verdict::kNone;
  failedLater.reason = "the configuration's report stylesheet failed";
  failedLater.reasonCode = "report-error";
  Tally tally;
  for (const DocumentResult& r : {failedLater, withoutVerdict(), withoutVerdict()})
    addToTally(&tally, r);
  EXPECT_EQ(
      "documents: 3 (accepted 0, rejected 0, no verdict 3)\n"
      "no verdict because of: rule-engine-error (2 documents), report-error (1 document)\n",
      tallyText(tally));
}

// What `command` writes on standard output, without its last line end,
// and its status.
std::pair<std::string, int> run(const std::string& command) {
  std::string out;
  int status = -1;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    status = pclose(pipe);
  }
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return {out, status};
}

TEST(JUnitReport, HasTheShapeCiServersReadWithFailuresAndErrors) {
  const DocumentResult a = accepted(), r = rejected(), n = withoutVerdict();
  const std::string xml = junitReport({{&a, 0.25}, {&r, 1.5}, {&n, 0.0}},
                                      "xslvalidate-verdict", "2026-12-10T17:00:00");
  const std::string file = testing::TempDir() + "junit-shape.xml";
  std::ofstream(file, std::ios::binary) << xml;
  const auto [complaints, status] =
      run("xmllint --noout --schema " VERDICT_SOURCE_DIR "/testdata/junit.xsd " + file + " 2>&1");
  EXPECT_EQ(0, status) << complaints;
  auto xpath = [&](const std::string& expression) {
    return run("xmllint --xpath '" + expression + "' " + file).first;
  };
  EXPECT_EQ("3", xpath("string(/testsuites/testsuite/@tests)"));
  EXPECT_EQ("1", xpath("string(/testsuites/testsuite/@failures)"));
  EXPECT_EQ("1", xpath("string(/testsuites/@errors)"));
  EXPECT_EQ("1.750", xpath("string(/testsuites/testsuite/@time)"));
  EXPECT_EQ("0", xpath("count(//testcase[1]/*)"));
  EXPECT_EQ("PEPPOL UBL", xpath("string(//testcase[2]/@classname)"));
  EXPECT_EQ("inbox/sub/bad.xml", xpath("string(//testcase[2]/@name)"));
  // The message names the first rejecting rule, its message and how many
  // more there are; the body names each rule set by its file name only.
  const std::string message = xpath("string(//testcase[2]/failure/@message)");
  EXPECT_EQ(0u, message.find("BR-01: ")) << message;
  EXPECT_NE(std::string::npos, message.find("(and 2 more findings)")) << message;
  const std::string failure = xpath("string(//testcase[2]/failure)");
  EXPECT_EQ(std::string::npos, failure.find("BR-I-1")) << "only what rejects: " << failure;
  EXPECT_NE(std::string::npos, failure.find("PEPPOL.xslt: error BR-CO-10 at /Invoice[1]/cbc:ID[1]"))
      << failure;
  EXPECT_EQ(std::string::npos, failure.find("rules/")) << "no folder of the checking machine";
  EXPECT_NE(std::string::npos, failure.find("<script>alert('x')</script>")) << failure;
  EXPECT_EQ("inbox/broken & <odd>.xml", xpath("string(//testcase[3]/@name)"));
  EXPECT_EQ(n.reason + " [rule-engine-error]", xpath("string(//testcase[3]/error/@message)"));
  EXPECT_NE(std::string::npos,
            xpath("string(//testcase[3]/error)").find("SXXP0003 not well-formed"));
}

TEST(JUnitReport, FailureTellsTheFirstRejectingFindingsLine) {
  DocumentResult located = rejected();
  located.ruleSets[0].name = "EN16931 UBL";
  located.ruleSets[0].findings[0].text = "Amount due is wrong";
  located.ruleSets[0].findings[0].line = 39;
  located.ruleSets[0].findings[0].column = 65;
  const std::string xml = junitReport({{&located, 0.1}}, "s", "2026-12-10T17:00:00");
  EXPECT_NE(std::string::npos,
            xml.find("message=\"BR-01: Amount due is wrong (line 39, column 65) (and 2 more "
                     "findings)\""))
      << xml;
  EXPECT_NE(std::string::npos, xml.find("EN16931 UBL: fatal BR-01 at line 39, column 65: "))
      << xml;
}

TEST(FindingPlace, LineWhereKnownElseTheLocation) {
  DocumentResult r = rejected();
  r.ruleSets[0].findings[0].text = "Amount due is wrong";  // strict JSON parsers refuse kHostile
  FindingRecord& finding = r.ruleSets[0].findings[2];
  EXPECT_NE(std::string::npos, textOutput(r).find("error BR-CO-10 at /Invoice[1]/cbc:ID[1]: "));
  nlohmann::json doc = nlohmann::json::parse(jsonOutput(r));
  EXPECT_TRUE(doc["ruleSets"][0]["findings"][2]["line"].is_null());
  EXPECT_TRUE(doc["ruleSets"][0]["findings"][2]["column"].is_null());
  finding.line = 7;
  finding.column = 3;
  EXPECT_NE(std::string::npos, textOutput(r).find("error BR-CO-10 at line 7, column 3: "));
  doc = nlohmann::json::parse(jsonOutput(r));
  EXPECT_EQ(7, doc["ruleSets"][0]["findings"][2]["line"]);
  EXPECT_EQ(3, doc["ruleSets"][0]["findings"][2]["column"]);
  EXPECT_EQ("/Invoice[1]/cbc:ID[1]", doc["ruleSets"][0]["findings"][2]["location"]);
}

TEST(JsonLines, OneParsableLinePerDocument) {
  DocumentResult markup = rejected();
  markup.ruleSets[0].findings[0].text = kMarkup;
  for (const DocumentResult& r : {accepted(), markup, withoutVerdict()}) {
    const std::string line = jsonLine(r);
    ASSERT_EQ('\n', line.back());
    EXPECT_EQ(line.size() - 1, line.find('\n')) << line;
    const nlohmann::json doc = nlohmann::json::parse(line);
    EXPECT_EQ(r.document, doc["document"]);
    EXPECT_EQ(r.rejecting, doc["rejectingFindings"]);
    EXPECT_EQ(r.ruleSets.size(), doc["ruleSets"].size());
    EXPECT_EQ(nlohmann::json::parse(jsonOutput(r)), doc);
    if (r.verdict != Verdict::kAccepted) {
      EXPECT_EQ(r.reason, doc["reason"]);
      EXPECT_EQ(r.reasonCode, doc["reasonCode"]);
    } else {
      EXPECT_TRUE(doc["reason"].is_null());
      EXPECT_TRUE(doc["reasonCode"].is_null());
    }
    if (r.verdict == Verdict::kNone) {
      EXPECT_EQ("no verdict", doc["verdict"]);
      EXPECT_EQ(r.engineMessages, doc["engineMessages"]);
      EXPECT_EQ(2, doc["ruleSets"][0]["runStatus"]);
    } else {
      EXPECT_TRUE(doc["engineMessages"].is_null());
    }
  }
  const nlohmann::json doc = nlohmann::json::parse(jsonLine(markup));
  EXPECT_EQ(kMarkup, doc["ruleSets"][0]["findings"][0]["message"]);
  EXPECT_EQ("PEPPOL UBL", doc["scenario"]);
  EXPECT_EQ("valid", doc["schema"]["state"]);
  EXPECT_EQ("BR-CO-10", doc["ruleSets"][0]["findings"][2]["id"]);
  EXPECT_EQ(true, doc["ruleSets"][0]["findings"][2]["rejects"]);
  EXPECT_EQ(0, doc["ruleSets"][0]["counts"]["warning"]);
}

TEST(HtmlPage, EscapesEveryTextAndForbidsLoadingAnything) {
  DocumentResult r = rejected();
  r.document = kHostile;
  r.engineMessages = kHostile;
  const std::string page = htmlPage(r);
  EXPECT_EQ(std::string::npos, page.find("<script")) << page;
  EXPECT_EQ(std::string::npos, page.find('\x01'));
  EXPECT_EQ(std::string::npos, page.find('\xFF'));
  EXPECT_NE(std::string::npos, page.find("&lt;script&gt;alert(&#39;x&#39;)"));
  EXPECT_NE(std::string::npos, page.find("content=\"default-src 'none'; style-src 'unsafe-inline'\""));
  EXPECT_EQ(u"bad.xml.html", htmlPageName(u"inbox/sub/bad.xml"));
}

TEST(HtmlPage, SchemaErrorsWithLineAndColumn) {
  DocumentResult r = withoutVerdict();
  r.verdict = Verdict::kRejected;
  r.scenario = "XRechnung UBL";
  r.schema.state = SchemaState::kInvalid;
  r.schema.schemas = {"schemas/UBL-Invoice-2.1.xsd"};
  FindingRecord finding;
  finding.kind = "schema";
  finding.severity = "error";
  finding.rejects = true;
  finding.line = 17;
  finding.column = 45;
  finding.text = "cvc-datatype-valid.1.2.1: 'yesterday' is not a valid value for 'date'.";
  r.schema.findings.push_back(finding);
  const std::string page = htmlPage(r);
  EXPECT_NE(std::string::npos, page.find("<dt>Checked as</dt><dd>XRechnung UBL</dd>")) << page;
  EXPECT_NE(std::string::npos,
            page.find("<tr><td data-label=\"Severity\" class=\"sev-error\">error, rejects</td>"
                      "<td data-label=\"Line\" class=\"line\">17</td>"
                      "<td data-label=\"Column\" class=\"column\">45</td>"
                      "<td data-label=\"Message\" class=\"message\">cvc-datatype-valid.1.2.1: "
                      "&#39;yesterday&#39; is not a valid value for &#39;date&#39;.</td></tr>"))
      << page;
}

// What may name a file of the server, or what the engine wrote, never
// reaches the page: the document and rule sets show without their folders
// (a rule set by its configuration name where it has one), the reason is
// worded from its code, and a rule finding shows its place, value and the
// flag an override changed.
TEST(HtmlPage, NoServerPathOrEngineMessageAndFindingsByPlace) {
  DocumentResult r = withoutVerdict();
  r.document = "/srv/inbox/sub/inv.xml";
  r.reason = "/srv/rules/PEPPOL.xslt: the run failed with status 2";
  r.engineMessages = "java.lang.RuntimeException: at /srv/rules/PEPPOL.xslt line 3";
  r.ruleSets[0].stylesheet = "/srv/rules/PEPPOL.xslt";
  r.ruleSets[0].problem = "/srv/tmp/xslvalidate-verdict-1/summary.txt could not be read";
  RuleSetRecord named;
  named.stylesheet = "/srv/rules/EN16931.xslt";
  named.name = "EN 16931 rules";
  named.run = RunState::kCompleted;
  FindingRecord finding = ruleFinding("BR-CO-10", "warning", false, "Sum of line amounts");
  finding.flag = "fatal";
  finding.overridden = true;
  finding.line = 12;
  finding.column = 31;
  finding.value = "100.00";
  named.findings.push_back(finding);
  r.ruleSets.push_back(named);
  r.identity = InvoiceIdentity{"ubl-invoice", "INV-7", "2024-05-01", "S", "B", "100.00", "EUR"};
  r.sourceLines = true;
  const std::string page = htmlPage(r);
  for (const char* hidden : {"/srv", "Exception", "status 2", "summary.txt"})
    EXPECT_EQ(std::string::npos, page.find(hidden)) << hidden << "\n" << page;
  for (const char* shown :
       {"<dd>inv.xml</dd>", "<h2>Rules: PEPPOL.xslt</h2>", "<h2>Rules: EN 16931 rules</h2>",
        "A rule set could not be run", ">rule-engine-error</code>", "<dd>INV-7</dd>",
        "<dd>100.00 EUR</dd>", ">warning (flag fatal)</td>", ">BR-CO-10</td>",
        "class=\"line\">12</td>", "class=\"column\">31</td>", "class=\"value\">100.00</td>"})
    EXPECT_NE(std::string::npos, page.find(shown)) << shown << "\n" << page;
  EXPECT_EQ(std::string::npos, page.find("cannot give them"));
  r.sourceLines = false;
  EXPECT_NE(std::string::npos, htmlPage(r).find("the engine on this host cannot give them"));
}

}  // namespace

// A rule id, location and stylesheet name holding line breaks and terminal
// commands: in each output written as lines (the summary, the JUnit
// failure text, the text form) every finding stays one line and no raw
// control character gets through.
TEST(ForgedFields, StayOnTheirLineInEveryLineForm) {
  DocumentResult forged = rejected();
  forged.ruleSets[0].stylesheet = "rules/a\nrejected: forged.xml";
  for (FindingRecord& finding : forged.ruleSets[0].findings) {
    finding.id = "R-1\ndocuments: 99 (accepted 99)\x1b[2J";
    finding.location = "/a\r\n/b\x07";
  }
  Tally tally;
  addToTally(&tally, forged);
  const TimedResult timed{&forged, 0};
  struct Form { const char* name; std::string text; size_t lines; };
  // The failure's text as a reader of the XML gets it: line ends are
  // written as character references.
  const std::string junit = junitReport({timed}, "s", "2026-12-10T17:00:00");
  const size_t body = junit.find('>', junit.find("<failure")) + 1;
  std::string failure = junit.substr(body, junit.find("</failure>") - body);
  for (size_t at; (at = failure.find("&#10;")) != std::string::npos;)
    failure.replace(at, 5, "\n");
  size_t rejecting = 0;  // the JUnit text lists the findings that reject
  for (const FindingRecord& finding : forged.ruleSets[0].findings) rejecting += finding.rejects;
  for (const Form& form : std::initializer_list<Form>{
           {"summary", tallyText(tally), 2},
           {"JUnit failure text", failure, rejecting},
           {"text", textOutput(forged), 5 + forged.ruleSets[0].findings.size()}}) {
    SCOPED_TRACE(form.name);
    size_t lines = 0;
    for (char c : form.text) lines += c == '\n';
    EXPECT_EQ(form.lines, lines) << form.text;
    EXPECT_EQ(std::string::npos, form.text.find_first_of("\r\x1b\x07")) << form.text;
    EXPECT_NE(std::string::npos, form.text.find("R-1\\ndocuments")) << form.text;
  }
}
