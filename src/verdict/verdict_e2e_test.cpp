// xslvalidate-verdict on the real engine: the findings it prints and the
// JSON it writes for shared invoices match the reference table, and its
// own fixtures show what it does with odd, foreign and missing reports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "reference_table.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kShared = XSLVALIDATE_SHARED_DIR;
const std::string kFixtures = std::string(VERDICT_SOURCE_DIR) + "/testdata/";

// A fresh folder holding a copy of `document`, removed afterwards.
struct Folder {
  std::string path;
  explicit Folder(const std::string& document) {
    char name[] = "/tmp/xslvalidate-verdict-test-XXXXXX";
    path = mkdtemp(name);
    fs::copy_file(document, path + "/" + fs::path(document).filename().string());
  }
  ~Folder() { fs::remove_all(path); }
};

ProcessResult verdict(std::vector<std::string> arguments,
                      const std::string& workingDirectory = "") {
  arguments.insert(arguments.begin(), VERDICT_EXE);
  // In-process: the engine server is tested with the tool itself, and a
  // test must not leave a server of the user's behind.
  return runProcess(arguments, {"PATH=/usr/bin:/bin", "XSLVALIDATE_SERVER=off"},
                    workingDirectory);
}

// Reference table: invoice -> rule set -> sorted "id:flag" list.
std::map<std::string, std::map<std::string, std::string>> loadReference() {
  std::map<std::string, std::map<std::string, std::string>> table;
  for (const ReferenceRow& row : readReferenceTable(kShared + "/reference.tsv"))
    table[row.invoice][row.ruleSet] = row.findings;
  return table;
}

std::string joinSorted(std::vector<std::string> items) {
  std::sort(items.begin(), items.end());
  std::string joined;
  for (const std::string& item : items)
    joined += (joined.empty() ? "" : ",") + item;
  return joined;
}

// Severity counts implied by a sorted "id:flag" list.
std::map<std::string, int> flagCounts(const std::string& findings) {
  std::map<std::string, int> counts = {
      {"fatal", 0}, {"error", 0}, {"warning", 0}, {"information", 0}};
  std::stringstream items(findings);
  std::string item;
  while (std::getline(items, item, ','))
    ++counts[item.substr(item.rfind(':') + 1)];
  return counts;
}

struct SharedCase {
  const char* name;
  const char* invoice;
  std::vector<std::string> ruleSets;
  bool json;
  bool warningsAsErrors;
  int status;  // 0 accepted, 1 rejected, as the reference's flags imply
};

void PrintTo(const SharedCase& c, std::ostream* os) { *os << c.name; }

class SharedInvoiceTest : public testing::TestWithParam<SharedCase> {};

// One run of the command per case; its findings, counts and verdict are
// checked against the reference table, read either from the JSON or from
// the text lines.
TEST_P(SharedInvoiceTest, FindingsCountsAndVerdictFollowTheReference) {
  const SharedCase& c = GetParam();
  auto reference = loadReference()[c.invoice];
  Folder folder(kShared + "/" + c.invoice);
  std::string document = folder.path + "/" + fs::path(c.invoice).filename().string();
  std::vector<std::string> arguments;
  if (c.json) arguments.push_back("--json");
  if (c.warningsAsErrors) arguments.push_back("--warnings-as-errors");
  arguments.push_back(document);
  for (const std::string& r : c.ruleSets)
    arguments.push_back(kShared + "/rules/" + r);
  ProcessResult r = verdict(arguments);
  EXPECT_EQ(c.status, r.exitCode) << r.err;

  int rejecting = 0;
  for (const std::string& ruleSet : c.ruleSets)
    for (const auto& [flag, n] : flagCounts(reference[ruleSet]))
      if (flag == "fatal" || flag == "error" ||
          (c.warningsAsErrors && flag == "warning"))
        rejecting += n;
  EXPECT_EQ(c.status == 1, rejecting > 0) << "case table disagrees with the reference";

  if (c.json) {
    json doc = json::parse(r.out);
    EXPECT_EQ(document, doc["document"]);
    ASSERT_EQ(c.ruleSets.size(), doc["ruleSets"].size());
    for (size_t i = 0; i < c.ruleSets.size(); ++i) {
      const json& set = doc["ruleSets"][i];
      SCOPED_TRACE(c.ruleSets[i]);
      EXPECT_EQ(kShared + "/rules/" + c.ruleSets[i], set["stylesheet"]);
      EXPECT_EQ("completed", set["run"]);
      EXPECT_EQ(true, set["svrl"]);
      EXPECT_TRUE(set["problem"].is_null());
      std::vector<std::string> found;
      for (const json& f : set["findings"])
        found.push_back(f["id"].get<std::string>() + ":" + f["flag"].get<std::string>());
      EXPECT_EQ(reference[c.ruleSets[i]], joinSorted(found));
      for (const auto& [flag, n] : flagCounts(reference[c.ruleSets[i]]))
        EXPECT_EQ(n, set["counts"][flag]) << flag;
    }
    EXPECT_EQ(c.status == 0 ? "accepted" : "rejected", doc["verdict"]);
    EXPECT_EQ(rejecting, doc["rejectingFindings"]);
    if (c.status == 0)
      EXPECT_TRUE(doc["reasonCode"].is_null());
    else
      EXPECT_EQ("rule-findings", doc["reasonCode"]);
    return;
  }

  // Text: "<stylesheet> -> <report>", the findings, a counts line.
  std::map<std::string, std::vector<std::string>> found;
  std::map<std::string, std::string> countLines;
  std::string current, lastLine;
  std::stringstream lines(r.out);
  std::string line;
  static const std::regex findingLine("  (\\S+) (\\S+)( at (line \\d+, column \\d+|\\S+))?: .*");
  std::smatch m;
  while (std::getline(lines, line)) {
    lastLine = line;
    if (line.rfind("  ", 0) != 0) {
      current = fs::path(line.substr(0, line.find(" -> "))).filename().string();
    } else if (line.rfind("  counts: ", 0) == 0) {
      countLines[current] = line;
    } else if (std::regex_match(line, m, findingLine)) {
      found[current].push_back(m[2].str() + ":" + m[1].str());
    } else {
      ADD_FAILURE() << "unexpected line: " << line;
    }
  }
  for (const std::string& ruleSet : c.ruleSets) {
    SCOPED_TRACE(ruleSet);
    EXPECT_EQ(reference[ruleSet], joinSorted(found[ruleSet]));
    auto n = flagCounts(reference[ruleSet]);
    EXPECT_EQ("  counts: fatal " + std::to_string(n["fatal"]) + ", error " +
                  std::to_string(n["error"]) + ", warning " +
                  std::to_string(n["warning"]) + ", information " +
                  std::to_string(n["information"]),
              countLines[ruleSet]);
  }
  EXPECT_EQ(c.status == 0 ? "accepted: " + document
                          : "rejected: " + document + " (" + std::to_string(rejecting) +
                                (rejecting == 1 ? " finding rejects it)" : " findings reject it)") +
                                " [rule-findings]",
            lastLine);
}

const char kRounding[] = "invoices/cii/CII-BR-CO-10-RoundingIssue.xml";
const std::vector<std::string> kCii = {"EN16931-CII-validation.xslt",
                                       "PEPPOL-EN16931-CII.xslt",
                                       "XRechnung-CII-validation.xslt"};
const std::vector<std::string> kUbl = {"EN16931-UBL-validation.xslt",
                                       "PEPPOL-EN16931-UBL.xslt",
                                       "XRechnung-UBL-validation.xslt"};

INSTANTIATE_TEST_SUITE_P(
    Shared, SharedInvoiceTest,
    testing::Values(
        SharedCase{"cii_all_json", "invoices/cii/CII_example8.xml", kCii, true, false, 1},
        SharedCase{"ubl_all_text", "invoices/ubl/guide-example2.xml", kUbl, false, false, 1},
        SharedCase{"only_warnings_json", kRounding,
                   {"EN16931-CII-validation.xslt", "XRechnung-CII-validation.xslt"},
                   true, false, 0},
        SharedCase{"warnings_as_errors_text", kRounding,
                   {"EN16931-CII-validation.xslt", "XRechnung-CII-validation.xslt"},
                   false, true, 1}),
    [](const testing::TestParamInfo<SharedCase>& info) { return info.param.name; });

TEST(VerdictUsage, UsageErrorsExitTwoBeforeAnyRun) {
  Folder folder(std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/invoice.xml");
  std::string rules = std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/rules/totals.xslt";
  struct Case { std::vector<std::string> arguments; const char* error; bool usage; };
  for (const Case& c : std::initializer_list<Case>{
           {{}, "expected a document and at least one stylesheet", true},
           {{"invoice.xml"}, "expected a document and at least one stylesheet", true},
           {{"--json", "invoice.xml"}, "expected a document and at least one stylesheet", true},
           {{"--jsn", "invoice.xml", rules}, "unknown option --jsn", true},
           {{"missing.xml", rules}, "document does not exist: missing.xml", false},
           {{"--", "--json", rules}, "document does not exist: --json", false},
       }) {
    ProcessResult r = verdict(c.arguments, folder.path);
    SCOPED_TRACE(c.error);
    EXPECT_EQ(2, r.exitCode);
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos, r.err.find(c.error)) << r.err;
    EXPECT_EQ(c.usage, r.err.find("usage: xslvalidate-verdict") != std::string::npos) << r.err;
  }
  EXPECT_EQ(std::vector<std::string>{"invoice.xml"},
            [&] { std::vector<std::string> names;
                  for (auto& e : fs::directory_iterator(folder.path))
                    names.push_back(e.path().filename().string());
                  return names; }());
}

// Odd findings, an empty SVRL report, a report that is not SVRL and one
// that is not XML, in one run: the odd findings are read exactly, and the
// foreign reports leave the document without a verdict.
TEST(VerdictFixtures, OddEmptyForeignAndNonXmlReportsInJson) {
  Folder folder(std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/invoice.xml");
  ProcessResult r = verdict({"--json", "invoice.xml", kFixtures + "odd_findings.xsl",
                             kFixtures + "empty_svrl.xsl", kFixtures + "not_svrl.xsl",
                             kFixtures + "text_output.xsl"},
                            folder.path);
  EXPECT_EQ(3, r.exitCode) << r.err;
  json doc = json::parse(r.out);
  ASSERT_EQ(4u, doc["ruleSets"].size());

  const json& odd = doc["ruleSets"][0];
  EXPECT_EQ("invoice_odd_findings.xml", odd["report"]);
  // A flag the verdict does not know counts as an error, its flag kept.
  EXPECT_EQ(json::parse(R"j([
    {"kind": "failed-assert", "id": "ODD-NOFLAG", "flag": null, "severity": "error",
     "overridden": false, "rejects": true, "line": null, "column": null,
     "location": "/*[local-name()='Invoice']",
     "test": "false()",
     "message": "Zeile eins: Müller & Söhne \"GmbH\" C:\\temp\t€ 𝄞\n          Zeile zwei"},
    {"kind": "successful-report", "id": null, "flag": "warning", "severity": "warning",
     "overridden": false, "rejects": false, "line": null, "column": null, "location": "/",
     "test": "true()",
     "message": "reported without an id"},
    {"kind": "failed-assert", "id": "ODD-CAUTION", "flag": "caution", "severity": "error",
     "overridden": false, "rejects": true, "line": null, "column": null, "location": null,
     "test": "false()",
     "message": "no location"}])j"), odd["findings"]);
  EXPECT_EQ(json::parse(R"({"fatal": 0, "error": 2, "warning": 1, "information": 0})"),
            odd["counts"]);
  EXPECT_TRUE(odd["problem"].is_null());

  const json& empty = doc["ruleSets"][1];
  EXPECT_EQ(true, empty["svrl"]);
  EXPECT_EQ(json::array(), empty["findings"]);
  EXPECT_EQ(json::parse(R"({"fatal": 0, "error": 0, "warning": 0, "information": 0})"),
            empty["counts"]);
  EXPECT_TRUE(empty["problem"].is_null());

  const json& foreign = doc["ruleSets"][2];
  EXPECT_EQ("completed", foreign["run"]);
  EXPECT_EQ(false, foreign["svrl"]);
  EXPECT_EQ(json::array(), foreign["findings"]);
  EXPECT_EQ("the report is not SVRL (its root element is {http://www.w3.org/1999/xhtml}html)",
            foreign["problem"]);

  const json& text = doc["ruleSets"][3];
  EXPECT_EQ("completed", text["run"]);
  EXPECT_TRUE(text["svrl"].is_null());
  EXPECT_EQ("the report could not be read as XML", text["problem"]);

  EXPECT_EQ("no verdict", doc["verdict"]);
  EXPECT_EQ(kFixtures + "not_svrl.xsl: " + foreign["problem"].get<std::string>(),
            doc["reason"]);
}

TEST(VerdictFixtures, FindingWithoutFlagRejectsInText) {
  Folder folder(std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/invoice.xml");
  ProcessResult r = verdict(
      {"invoice.xml", kFixtures + "odd_findings.xsl", kFixtures + "empty_svrl.xsl"},
      folder.path);
  EXPECT_EQ(1, r.exitCode) << r.err;
  EXPECT_EQ(
      kFixtures + "odd_findings.xsl -> invoice_odd_findings.xml\n"
      "  error ODD-NOFLAG at /*[local-name()='Invoice']: Zeile eins: Müller & Söhne "
      "\"GmbH\" C:\\temp € 𝄞 Zeile zwei\n"
      "  warning (no id) at /: reported without an id\n"
      "  error (flag caution) ODD-CAUTION: no location\n"
      "  counts: fatal 0, error 2, warning 1, information 0\n" +
      kFixtures + "empty_svrl.xsl -> invoice_empty_svrl.xml\n"
          "  counts: fatal 0, error 0, warning 0, information 0\n"
          "rejected: invoice.xml (2 findings reject it) [rule-findings]\n",
      r.out);
  EXPECT_EQ("", r.err);
}

// A rule finding's place is its line and column in every output form:
// a shared invoice whose amount due is made wrong fails BR-CO-16 on its
// LegalMonetaryTotal element, whose line the invoice's own text tells.
TEST(VerdictFindingLines, TextJsonAndJUnitTellTheLine) {
  std::ifstream in(kShared + "/invoices/ubl/ubl-tc434-example1.xml", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::regex payable("(<cbc:PayableAmount currencyID=\"EUR\">)[0-9.]+<");
  ASSERT_TRUE(std::regex_search(text, payable));
  text = std::regex_replace(text, payable, "$011.00<");
  const size_t total = text.find("<cac:LegalMonetaryTotal>");
  ASSERT_NE(std::string::npos, total);
  const long long line = 1 + std::count(text.begin(), text.begin() + total, '\n');
  char name[] = "/tmp/xslvalidate-verdict-test-XXXXXX";
  const std::string folder = mkdtemp(name);
  std::ofstream(folder + "/wrong-total.xml", std::ios::binary) << text;
  const std::string rules = kShared + "/rules/EN16931-UBL-validation.xslt";

  ProcessResult plain = verdict({"wrong-total.xml", rules}, folder);
  EXPECT_EQ(1, plain.exitCode) << plain.err;
  EXPECT_NE(std::string::npos,
            plain.out.find("fatal BR-CO-16 at line " + std::to_string(line) + ", column "))
      << plain.out;

  ProcessResult asJson = verdict({"--json", "wrong-total.xml", rules}, folder);
  const json doc = json::parse(asJson.out);
  bool found = false;
  for (const json& finding : doc["ruleSets"][0]["findings"]) {
    if (finding["id"] != "BR-CO-16")
      continue;
    found = true;
    EXPECT_EQ(line, finding["line"]);
    EXPECT_GT(finding["column"].get<long long>(), 0);
  }
  EXPECT_TRUE(found) << asJson.out;

  ProcessResult junit =
      verdict({"--junit", folder + "/junit.xml", "wrong-total.xml", rules}, folder);
  EXPECT_EQ(1, junit.exitCode) << junit.err;
  std::ifstream written(folder + "/junit.xml", std::ios::binary);
  const std::string xml((std::istreambuf_iterator<char>(written)),
                        std::istreambuf_iterator<char>());
  EXPECT_NE(std::string::npos, xml.find("message=\"BR-CO-16: [BR-CO-16]-Amount due"))
      << xml;
  EXPECT_NE(std::string::npos, xml.find("(line " + std::to_string(line) + ", column ")) << xml;
  EXPECT_EQ(std::string::npos, xml.find(kShared)) << "no folder of the checking machine";
  fs::remove_all(folder);
}

// A run that fails midway leaves the older report at its path; it is not
// read, later stylesheets are not run, and there is no verdict.
TEST(VerdictFixtures, FailedRunGivesNoVerdictAndTheOlderReportIsNotRead) {
  Folder folder(std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/invoice.xml");
  fs::copy_file(kFixtures + "old_report.xml", folder.path + "/invoice_fails_midway.xml");
  ProcessResult r = verdict({"invoice.xml", kFixtures + "empty_svrl.xsl",
                             kFixtures + "fails_midway.xsl", kFixtures + "odd_findings.xsl"},
                            folder.path);
  EXPECT_EQ(3, r.exitCode) << r.err;
  EXPECT_EQ(kFixtures + "empty_svrl.xsl -> invoice_empty_svrl.xml\n"
                "  counts: fatal 0, error 0, warning 0, information 0\n" +
                kFixtures + "fails_midway.xsl -> invoice_fails_midway.xml\n"
                "  no verdict: the run failed with status 2\n" +
                kFixtures + "odd_findings.xsl -> invoice_odd_findings.xml\n"
                "  no verdict: not run, an earlier run failed\n"
                "no verdict: invoice.xml: " + kFixtures +
                "fails_midway.xsl: the run failed with status 2 [rule-engine-error]\n",
            r.out);
  EXPECT_NE(std::string::npos, r.err.find("Run stopped")) << r.err;
  EXPECT_EQ(readFile(kFixtures + "old_report.xml"),
            readFile(folder.path + "/invoice_fails_midway.xml"));
  EXPECT_FALSE(fs::exists(folder.path + "/invoice_odd_findings.xml"));
}

// Flags with white space around them still count, and nothing a report
// holds can start a line of its own or reach the terminal.
TEST(VerdictFixtures, ForgedLinesAndPaddedFlagsInText) {
  Folder folder(std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/invoice.xml");
  ProcessResult r = verdict({"invoice.xml", kFixtures + "forged_lines.xsl"}, folder.path);
  EXPECT_EQ(1, r.exitCode) << r.err;
  EXPECT_EQ(kFixtures + "forged_lines.xsl -> invoice_forged_lines.xml\n"
                "  fatal R1\\naccepted: d.xml at /a\\r/b: bell\\x07 escape \\x1B[2J done\n"
                "  fatal R2 at /: two\n"
                "  error R3 at /: three\n"
                "  counts: fatal 2, error 1, warning 0, information 0\n"
                "rejected: invoice.xml (3 findings reject it) [rule-findings]\n",
            r.out);
}

// The wrong rule set by hand gives no verdict, whichever generator made it
// and whether or not its report names fired rules: a rule set for the other
// syntax (one that would reject on a generic //* rule among them), and a
// report given as the document. Never accepted, never rejected.
TEST(VerdictFixtures, WrongRuleSetsAndReportsAsDocumentsGiveNoVerdict) {
  Folder folder(kShared + "/invoices/ubl/guide-example1.xml");
  fs::copy_file(kShared + "/invoices/cii/CII_example1.xml", folder.path + "/cii.xml");
  const std::string svrl = folder.path + "/report.xml";
  std::ofstream(svrl) << "<svrl:schematron-output xmlns:svrl=\"http://purl.oclc.org/dsdl/svrl\">"
                         "<svrl:fired-rule context=\"/\"/></svrl:schematron-output>\n";
  struct Case { std::vector<std::string> arguments; std::string reason; };
  for (const Case& c : std::initializer_list<Case>{
           {{"guide-example1.xml", kShared + "/rules/EN16931-CII-validation.xslt"},
            kShared + "/rules/EN16931-CII-validation.xslt: it is the wrong rule set for this "
            "document: its rules apply to elements in "},
           // The PEPPOL UBL rules hold a //* rule that fires on any document.
           {{"cii.xml", kShared + "/rules/PEPPOL-EN16931-UBL.xslt"},
            kShared + "/rules/PEPPOL-EN16931-UBL.xslt: it is the wrong rule set for this "
            "document: its rules apply to elements in "},
           // A rule set that never writes svrl:fired-rule, for UBL.
           {{"cii.xml", kFixtures + "no_fired_rules.xsl"},
            kFixtures + "no_fired_rules.xsl: it is the wrong rule set for this document"},
           {{"report.xml", std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/rules/totals.xslt"},
            "the document is an SVRL report, not a document to check"},
           {{"report.xml", kFixtures + "empty_svrl.xsl"},
            "the document is an SVRL report, not a document to check"},
       }) {
    ProcessResult r = verdict(c.arguments, folder.path);
    SCOPED_TRACE(c.arguments[1]);
    EXPECT_EQ(3, r.exitCode) << r.err;
    std::string last = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    EXPECT_EQ(0u, last.find("no verdict: " + c.arguments[0] + ": " + c.reason)) << last;
    EXPECT_NE(std::string::npos, last.find("[wrong-rule-set]")) << last;
  }
}

// A rule set whose generator never writes svrl:fired-rule (only active
// patterns and findings, as SchXslt 1.10 does) decides as any other: it
// accepts a document its findings do not reject and rejects one they do.
TEST(VerdictFixtures, RuleSetWithoutFiredRulesDecidesByItsFindings) {
  Folder folder(kShared + "/invoices/ubl/xrechnung-01.01a-INVOICE_ubl.xml");
  const std::string good = readFile(folder.path + "/xrechnung-01.01a-INVOICE_ubl.xml");
  ASSERT_NE(std::string::npos, good.find("BuyerReference"));
  std::ofstream(folder.path + "/no-buyer-reference.xml")
      << std::regex_replace(good, std::regex("<cbc:BuyerReference>[^<]*</cbc:BuyerReference>"), "");
  struct Case { const char* document; int status; const char* last; };
  for (const Case& c : std::initializer_list<Case>{
           {"xrechnung-01.01a-INVOICE_ubl.xml", 0, "accepted: xrechnung-01.01a-INVOICE_ubl.xml\n"},
           {"no-buyer-reference.xml", 1,
            "rejected: no-buyer-reference.xml (1 finding rejects it) [rule-findings]\n"}}) {
    ProcessResult r = verdict({"--json", c.document, kFixtures + "no_fired_rules.xsl"},
                              folder.path);
    EXPECT_EQ(c.status, r.exitCode) << r.err;
    json doc = json::parse(r.out);
    EXPECT_FALSE(doc["ruleSets"][0]["firedRules"].get<bool>());
    ProcessResult text = verdict({c.document, kFixtures + "no_fired_rules.xsl"}, folder.path);
    EXPECT_EQ(c.last, text.out.substr(text.out.rfind('\n', text.out.size() - 2) + 1));
  }
}

// The document's own faults reject it with a reason code, before any rule
// set runs; an engine that cannot start leaves it without a verdict.
TEST(VerdictFixtures, DocumentFaultsRejectWithTheirReasonCode) {
  Folder folder(std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/invoice.xml");
  const std::string rules = std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/rules/totals.xslt";
  std::ofstream(folder.path + "/empty.xml");
  std::ofstream(folder.path + "/blank.xml") << " \n\t\n";
  std::ofstream(folder.path + "/text.xml") << "not XML\n";
  std::ofstream(folder.path + "/cut.xml") << "<Invoice><cbc:ID>1</cbc:ID>";
  std::ofstream(folder.path + "/doctype.xml")
      << "<?xml version=\"1.0\"?>\n<!-- a comment first -->\n"
         "<!DOCTYPE lol [<!ENTITY lol \"lol\"><!ENTITY lol1 \"&lol;&lol;&lol;\">]>\n"
         "<Invoice>&lol1;</Invoice>\n";
  std::ofstream(folder.path + "/unclosed.xml")
      << "<Invoice>\n  <Note>one\n  <Note>two</Note>\n</Invoice>\n";
  // Each is said once, in its reason; where the parser stopped is told as
  // data (line 0: no parser position, the document's first bytes told).
  struct Case { const char* document; const char* code; int line; int column; };
  for (const Case& c : std::initializer_list<Case>{{"empty.xml", "not-well-formed", 0, 0},
                                                    {"blank.xml", "not-well-formed", 0, 0},
                                                    {"text.xml", "not-well-formed", 1, 1},
                                                    {"cut.xml", "not-well-formed", 1, 18},
                                                    {"unclosed.xml", "not-well-formed", 4, 3},
                                                    {"doctype.xml", "doctype-refused", 0, 0}}) {
    SCOPED_TRACE(c.document);
    ProcessResult r = verdict({"--json", c.document, rules}, folder.path);
    EXPECT_EQ(1, r.exitCode) << r.err;
    json doc = json::parse(r.out);
    EXPECT_EQ("rejected", doc["verdict"]);
    EXPECT_EQ(c.code, doc["reasonCode"]);
    EXPECT_EQ(json::array(), doc["ruleSets"]);  // no rule set ran
    if (c.line > 0) {
      EXPECT_EQ(c.line, doc["parserError"]["line"]);
      EXPECT_EQ(c.column, doc["parserError"]["column"]);
      EXPECT_NE(std::string::npos,
                doc["reason"].get<std::string>().find("(line " + std::to_string(c.line) +
                                                      ", column " +
                                                      std::to_string(c.column) + ")"));
    } else {
      EXPECT_TRUE(doc["parserError"].is_null());
    }
    EXPECT_TRUE(doc["engineMessages"].is_null()) << doc["engineMessages"];
    ProcessResult text = verdict({c.document, rules}, folder.path);
    EXPECT_EQ("", text.err) << "the reason says it; the runs' Java texts are not repeated";
  }
  EXPECT_FALSE(fs::exists(folder.path + "/text_totals.xml"));

  // An engine that cannot start: the document is not at fault.
  ProcessResult broken = runProcess(
      {VERDICT_EXE, "--json", "invoice.xml", rules},
      {"PATH=/usr/bin:/bin", "XSLVALIDATE_SERVER=off", "XSLVALIDATE_MAX_HEAP=1"}, folder.path);
  EXPECT_EQ(3, broken.exitCode) << broken.out << broken.err;
  ASSERT_FALSE(broken.out.empty()) << broken.err;
  EXPECT_EQ("engine-failed", json::parse(broken.out)["reasonCode"]) << broken.out;
}

// Output that cannot be written is said on standard error, with a status
// of its own.
TEST(VerdictUsage, UnwritableOutputHasItsOwnStatus) {
  Folder folder(std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/invoice.xml");
  for (const char* json : {"", "--json "}) {
    ProcessResult r = runProcess(
        {"/bin/sh", "-c",
         std::string("exec \"$0\" ") + json + "invoice.xml \"$1\" >/dev/full", VERDICT_EXE,
         std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/rules/totals.xslt"},
        {"PATH=/usr/bin:/bin", "XSLVALIDATE_SERVER=off"}, folder.path);
    EXPECT_EQ(4, r.exitCode) << json;
    EXPECT_NE(std::string::npos,
              r.err.find("xslvalidate-verdict: standard output could not be written: "
                         "No space left on device"))
        << r.err;
  }
}

// A temporary folder with no room left is named as the cause, not the
// report. Needs a private mount namespace and a small tmpfs.
TEST(VerdictUsage, FullTemporaryFolderIsNamed) {
  Folder folder(std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/invoice.xml");
  const std::string tmp = folder.path + "/tmp";
  fs::create_directory(tmp);
  // The tmpfs leaves room for the summary stylesheet and nothing more.
  const auto pages = (fs::file_size(std::string(VERDICT_SOURCE_DIR) + "/summary.xsl") + 4095) / 4096;
  ProcessResult r = runProcess(
      {"/usr/bin/unshare", "-m", "/bin/sh", "-c",
       "mount -t tmpfs -o size=" + std::to_string((pages + 2) * 4) + "k tmpfs \"$1\" || exit 77\n"
       "head -c 8192 /dev/zero > \"$1/fill\" || exit 77\n"
       "TMPDIR=\"$1\" exec \"$0\" invoice.xml \"$2\"",
       VERDICT_EXE, tmp, std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/rules/totals.xslt"},
      {"PATH=/usr/bin:/bin", "XSLVALIDATE_SERVER=off"}, folder.path);
  if (r.exitCode == 77)
    GTEST_SKIP() << "no private tmpfs here: " << r.err;
  EXPECT_EQ(3, r.exitCode) << r.err;
  EXPECT_NE(std::string::npos,
            r.out.find("no verdict: invoice.xml: the temporary folder " + tmp +
                       "/xslvalidate-verdict-"))
      << r.out;
  EXPECT_NE(std::string::npos, r.out.find("[engine-failed]")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("(No space left on device)")) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("could not be read as XML")) << r.out;
}

// A report folder with no room left: the verdict names the report and the
// system's words once; the engine's own texts of the failed write (naming
// the call's private file, twice) are not repeated on standard error.
TEST(VerdictUsage, FullReportFolderIsSaidOnce) {
  Folder folder(std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/invoice.xml");
  const std::string out = folder.path + "/out";
  fs::create_directory(out);
  ProcessResult r = runProcess(
      {"/usr/bin/unshare", "-m", "/bin/sh", "-c",
       "mount -t tmpfs -o size=16k tmpfs \"$1\" || exit 77\n"
       "head -c 16384 /dev/zero > \"$1/fill\" 2>/dev/null\n"
       "exec \"$0\" --rules \"$2\" -o \"$1\" invoice.xml",
       VERDICT_EXE, out, std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/rules/totals.xslt"},
      {"PATH=/usr/bin:/bin", "XSLVALIDATE_SERVER=off"}, folder.path);
  if (r.exitCode == 77)
    GTEST_SKIP() << "no private tmpfs here: " << r.err;
  EXPECT_EQ(3, r.exitCode) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("[output-unwritable]")) << r.out;
  EXPECT_NE(std::string::npos,
            r.out.find("the report " + out + "/invoice_totals.xml could not be written (No "
                       "space left on device)"))
      << r.out;
  EXPECT_EQ("", r.err);
}

// ---- Scenario configurations ----

const std::string kScenarios = kFixtures + "scenarios/scenarios.xml";

// The verdict with the test configuration, its locations taken from the
// shared material.
ProcessResult withScenarios(const std::string& document, const std::string& folder,
                            bool json = true) {
  std::vector<std::string> arguments = {"--scenarios", kScenarios, "--repository", kShared,
                                        document};
  if (json)
    arguments.insert(arguments.begin(), "--json");
  return verdict(arguments, folder);
}

std::vector<std::string> ruleSetNames(const json& doc) {
  std::vector<std::string> names;
  for (const json& set : doc["ruleSets"])
    names.push_back(fs::path(set["stylesheet"].get<std::string>()).filename().string());
  return names;
}

struct ScenarioCase {
  const char* invoice;
  const char* scenario;
  std::vector<std::string> ruleSets;
  int status;
};

// Each kind of document gets its scenario, the schema step and the
// scenario's rule sets, whose findings follow the reference.
TEST(VerdictScenarios, EachKindOfDocumentGetsItsScenario) {
  auto reference = loadReference();
  for (const ScenarioCase& c : std::initializer_list<ScenarioCase>{
           {"invoices/ubl/xrechnung-01.01a-INVOICE_ubl.xml", "XRechnung UBL Invoice",
            {"EN16931-UBL-validation.xslt", "XRechnung-UBL-validation.xslt"}, 0},
           {"invoices/ubl/BIS3_Invoice_positive.XML", "PEPPOL UBL Invoice",
            {"EN16931-UBL-validation.xslt", "PEPPOL-EN16931-UBL.xslt"}, 0},
           {"invoices/ubl/guide-example1.xml", "EN16931 UBL Invoice",
            {"EN16931-UBL-validation.xslt"}, 0},
           {"invoices/ubl/ubl-tc434-creditnote1.xml", "UBL Credit Note",
            {"EN16931-UBL-validation.xslt"}, 0},
           {"invoices/cii/CII_example1.xml", "CII Invoice",
            {"EN16931-CII-validation.xslt", "XRechnung-CII-validation.xslt"}, 1},
       }) {
    SCOPED_TRACE(c.invoice);
    Folder folder(kShared + "/" + c.invoice);
    ProcessResult r = withScenarios(fs::path(c.invoice).filename().string(), folder.path);
    EXPECT_EQ(c.status, r.exitCode) << r.err;
    json doc = json::parse(r.out);
    EXPECT_EQ(c.scenario, doc["scenario"]);
    EXPECT_EQ(kScenarios, doc["configuration"]);
    EXPECT_EQ("valid", doc["schema"]["state"]);
    EXPECT_EQ(json::array(), doc["schema"]["findings"]);
    EXPECT_EQ(c.ruleSets, ruleSetNames(doc));
    for (const json& set : doc["ruleSets"]) {
      std::string name = fs::path(set["stylesheet"].get<std::string>()).filename().string();
      std::vector<std::string> found;
      for (const json& f : set["findings"])
        found.push_back(f["id"].get<std::string>() + ":" + f["flag"].get<std::string>());
      EXPECT_EQ(reference[c.invoice][name], joinSorted(found)) << name;
      EXPECT_EQ(true, set["firedRules"]);
    }
    EXPECT_EQ(c.status == 0 ? "accepted" : "rejected", doc["verdict"]);
  }
}

// A customLevel turns the rule's fatal findings into warnings: the same
// rule sets named by hand reject the invoice, its scenario accepts it, and
// each overridden finding keeps its flag.
TEST(VerdictScenarios, SeverityOverrideTurnsARejectionIntoAnAcceptance) {
  Folder folder(kShared + "/invoices/ubl/issue116.xml");
  ProcessResult byHand = verdict({"issue116.xml", kShared + "/rules/EN16931-UBL-validation.xslt",
                                  kShared + "/rules/PEPPOL-EN16931-UBL.xslt"},
                                 folder.path);
  EXPECT_EQ(1, byHand.exitCode) << byHand.err;

  ProcessResult r = withScenarios("issue116.xml", folder.path);
  EXPECT_EQ(0, r.exitCode) << r.err;
  json doc = json::parse(r.out);
  EXPECT_EQ("PEPPOL UBL Invoice", doc["scenario"]);
  const json& peppol = doc["ruleSets"][1];
  ASSERT_EQ(3u, peppol["findings"].size());
  for (const json& f : peppol["findings"]) {
    EXPECT_EQ("PEPPOL-COMMON-R049", f["id"]);
    EXPECT_EQ("fatal", f["flag"]);
    EXPECT_EQ("warning", f["severity"]);
    EXPECT_EQ(true, f["overridden"]);
    EXPECT_EQ(false, f["rejects"]);
    EXPECT_FALSE(f["test"].get<std::string>().empty());
  }
  EXPECT_EQ(3, peppol["counts"]["warning"]);
  EXPECT_EQ(0, peppol["counts"]["fatal"]);
  EXPECT_EQ("accepted", doc["verdict"]);

  ProcessResult text = withScenarios("issue116.xml", folder.path, false);
  EXPECT_NE(std::string::npos,
            text.out.find("  warning (overrides flag fatal) PEPPOL-COMMON-R049 at line 42, column "))
      << text.out;
}

// An element the schema does not allow rejects the document with its line
// and column; the rule sets are not run and write no report.
TEST(VerdictScenarios, SchemaErrorRejectsAndTheRuleSetsAreNotRun) {
  Folder folder(kShared + "/invoices/ubl/guide-example1.xml");
  std::string invoice = readFile(folder.path + "/guide-example1.xml");
  size_t at = invoice.find("<cbc:IssueDate>");
  ASSERT_NE(std::string::npos, at);
  invoice.insert(at, "<cbc:Unknown>x</cbc:Unknown>");
  std::ofstream(folder.path + "/guide-example1.xml", std::ios::trunc) << invoice;
  const long long line = std::count(invoice.begin(), invoice.begin() + at, '\n') + 1;

  ProcessResult r = withScenarios("guide-example1.xml", folder.path);
  EXPECT_EQ(1, r.exitCode) << r.err;
  json doc = json::parse(r.out);
  EXPECT_EQ("invalid", doc["schema"]["state"]);
  ASSERT_EQ(1u, doc["schema"]["findings"].size());
  const json& finding = doc["schema"]["findings"][0];
  EXPECT_EQ("schema", finding["kind"]);
  EXPECT_EQ("error", finding["severity"]);
  EXPECT_EQ(true, finding["rejects"]);
  EXPECT_EQ(line, finding["line"]);
  EXPECT_GT(finding["column"].get<long long>(), 0);
  EXPECT_NE(std::string::npos, finding["message"].get<std::string>().find("Unknown"));
  ASSERT_EQ(1u, doc["ruleSets"].size());
  EXPECT_EQ("not run", doc["ruleSets"][0]["run"]);
  EXPECT_EQ("rejected", doc["verdict"]);
  EXPECT_EQ(1, doc["rejectingFindings"]);
  EXPECT_FALSE(fs::exists(folder.path + "/guide-example1_EN16931-UBL-validation.xml"));

  ProcessResult text = withScenarios("guide-example1.xml", folder.path, false);
  EXPECT_NE(std::string::npos,
            text.out.find("UBL-Invoice-2.1.xsd: invalid, the rule sets were not run\n"
                          "  error at line " + std::to_string(line) + ", column "))
      << text.out;
  EXPECT_NE(std::string::npos, text.out.find("  not run, the XML Schema step did not pass\n"))
      << text.out;
}

// A document no scenario is for, a report given as a document, and a
// document that is not XML are rejected for their own fault, and nothing
// runs on them.
TEST(VerdictScenarios, NoScenarioMatchesReportsAsDocumentsAndNonXmlAreRejected) {
  Folder folder(std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/invoice.xml");
  std::ofstream(folder.path + "/note.xml") << "<note>not an invoice</note>\n";
  std::ofstream(folder.path + "/report.xml")
      << "<svrl:schematron-output xmlns:svrl=\"http://purl.oclc.org/dsdl/svrl\"/>\n";
  std::ofstream(folder.path + "/text.xml") << "not XML\n";
  struct Case { const char* document; std::string reason; const char* code; };
  for (const Case& c : std::initializer_list<Case>{
           {"note.xml", "no scenario matches (configuration \"Test invoices\", " + kScenarios + ")",
            "no-scenario-matched"},
           {"report.xml", "the document is an SVRL report, not a document to check",
            "no-scenario-matched"},
           {"text.xml", "the document could not be read as XML (line 1, column 1): Content is "
            "not allowed in prolog.", "not-well-formed"}}) {
    ProcessResult r = withScenarios(c.document, folder.path);
    EXPECT_EQ(1, r.exitCode) << r.err;
    json doc = json::parse(r.out);
    EXPECT_TRUE(doc["scenario"].is_null());
    EXPECT_EQ("rejected", doc["verdict"]);
    EXPECT_EQ(c.reason, doc["reason"]);
    EXPECT_EQ(c.code, doc["reasonCode"]);
    EXPECT_EQ(json::array(), doc["ruleSets"]);
  }
  // No rule set ran: beside the four documents, only the configuration's
  // noScenarioReport of each rejected one.
  EXPECT_EQ(7u, static_cast<size_t>(std::distance(fs::directory_iterator(folder.path),
                                                   fs::directory_iterator())));
  for (const char* report : {"note-report.xml", "report-report.xml", "text-report.xml"})
    EXPECT_NE(std::string::npos, readFile(folder.path + "/" + report).find("rep:noScenarioMatched"))
        << report;
}

// A configuration that is not valid is refused before any document is
// read: status 2, its file and the reason on standard error, nothing on
// standard output.
TEST(VerdictScenarios, InvalidConfigurationsAreRefused) {
  Folder folder(std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/invoice.xml");
  const std::string report = "configurations/peppol-bis-3.0.18/resources/xrechnung-report.xsl";
  auto configuration = [&](const std::string& namespaceUri, const std::string& match,
                           const std::string& rules, const std::string& level,
                           const std::string& accept = "/rep:report", const std::string& prefix = "ubl",
                           const std::string& reportLocation = "") {
    return "<scenarios xmlns=\"" + namespaceUri + "\" frameworkVersion=\"1.0.0\">"
           "<name>Bad</name><date>2026-01-01</date><description><p>x</p></description>"
           "<scenario><name>One</name>"
           "<namespace prefix=\"" + prefix + "\">urn:oasis:names:specification:ubl:schema:xsd:Invoice-2</namespace>"
           "<namespace prefix=\"rep\">http://www.xoev.de/de/validator/varl/1</namespace>"
           "<match>" + match + "</match>"
           "<validateWithXmlSchema><resource><name>s</name>"
           "<location>schemas/ubl-2.1/maindoc/UBL-Invoice-2.1.xsd</location></resource>"
           "</validateWithXmlSchema>"
           "<validateWithSchematron><resource><name>r</name><location>" + rules +
           "</location></resource></validateWithSchematron>"
           "<createReport><resource><name>c</name><location>" +
           (reportLocation.empty() ? report : reportLocation) + "</location></resource>"
           "<customLevel level=\"" + level + "\">BR-01</customLevel></createReport>"
           "<acceptMatch>" + accept + "</acceptMatch>"
           "</scenario>"
           "<noScenarioReport><resource><name>n</name><location>" + report + "</location></resource>"
           "</noScenarioReport></scenarios>\n";
  };
  const std::string ns = "http://www.xoev.de/de/validator/framework/1/scenarios";
  const std::string rules = "rules/EN16931-UBL-validation.xslt";
  struct Case { const char* name; std::string text; std::string reason; };
  for (const Case& c : std::initializer_list<Case>{
           {"not XML", "<scenarios>\n", "it could not be read as XML"},
           {"wrong namespace", configuration("urn:other", "true()", rules, "warning"),
            "its root element is {urn:other}scenarios, not scenarios in the namespace " + ns},
           {"missing file", configuration(ns, "true()", "rules/Missing.xslt", "warning"),
            "scenario \"One\": " + kShared + "/rules/Missing.xslt (location rules/Missing.xslt) "
            "does not exist"},
           {"not XPath", configuration(ns, "exists(/ubl:Invoice", rules, "warning"),
            "the match of scenario \"One\" is not a valid XPath expression: exists(/ubl:Invoice"},
           {"unbound prefix", configuration(ns, "exists(/cii:Invoice)", rules, "warning"),
            "the match of scenario \"One\" is not a valid XPath expression: exists(/cii:Invoice)"},
           {"unknown level", configuration(ns, "true()", rules, "fatal"),
            "scenario \"One\": customLevel level \"fatal\" is not error, warning or information"},
           {"missing report stylesheet",
            configuration(ns, "true()", rules, "warning", "/rep:report", "ubl", "nothing.xsl"),
            "scenario \"One\": " + kShared + "/nothing.xsl (location nothing.xsl) does not exist"},
           {"report stylesheet that is none",
            configuration(ns, "true()", rules, "warning", "/rep:report", "ubl",
                          "schemas/ubl-2.1/maindoc/UBL-Invoice-2.1.xsd"),
            "the report stylesheet of scenario \"One\" (" + kShared +
            "/schemas/ubl-2.1/maindoc/UBL-Invoice-2.1.xsd) could not be compiled"},
           {"acceptMatch not XPath", configuration(ns, "true()", rules, "warning", "/rep:report["),
            "the acceptMatch of scenario \"One\" is not a valid XPath expression: /rep:report["},
           {"checks nothing",
            "<scenarios xmlns=\"" + ns + "\"><name>Bad</name><scenario><name>Empty</name>"
            "<match>true()</match></scenario></scenarios>",
            "scenario \"Empty\" checks nothing (no validateWithXmlSchema, no "
            "validateWithSchematron)"},
           // Last, as it runs: the same configuration when it is valid.
           {"valid", configuration(ns, "exists(/ubl:Invoice)", rules, "warning"), ""},
       }) {
    SCOPED_TRACE(c.name);
    const std::string file = folder.path + "/scenarios.xml";
    std::ofstream(file, std::ios::trunc) << c.text;
    ProcessResult r = verdict({"--scenarios", file, "--repository", kShared, "invoice.xml"},
                              folder.path);
    if (c.reason.empty()) {
      EXPECT_NE(2, r.exitCode) << r.err;  // the control case is read
      continue;
    }
    EXPECT_EQ(2, r.exitCode);
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos,
              r.err.find("xslvalidate-verdict: configuration-invalid: scenarios configuration " +
                         file + " refused: " + c.reason + "\n"))
        << r.err;
    EXPECT_FALSE(fs::exists(folder.path + "/invoice_EN16931-UBL-validation.xml"));
  }
  ProcessResult missing = verdict({"--scenarios", "none.xml", "invoice.xml"}, folder.path);
  EXPECT_EQ(2, missing.exitCode);
  EXPECT_NE(std::string::npos,
            missing.err.find("scenarios configuration none.xml refused: the file does not exist"))
      << missing.err;
}

}  // namespace
