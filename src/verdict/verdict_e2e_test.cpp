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
    EXPECT_TRUE(doc["reason"].is_null());
    return;
  }

  // Text: "<stylesheet> -> <report>", the findings, a counts line.
  std::map<std::string, std::vector<std::string>> found;
  std::map<std::string, std::string> countLines;
  std::string current, lastLine;
  std::stringstream lines(r.out);
  std::string line;
  static const std::regex findingLine("  (\\S+) (\\S+)( at \\S+)?: .*");
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
                                (rejecting == 1 ? " finding rejects it)" : " findings reject it)"),
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
     "overridden": false, "rejects": true, "location": "/*[local-name()='Invoice']",
     "test": "false()",
     "message": "Zeile eins: Müller & Söhne \"GmbH\" C:\\temp\t€ 𝄞\n          Zeile zwei"},
    {"kind": "successful-report", "id": null, "flag": "warning", "severity": "warning",
     "overridden": false, "rejects": false, "location": "/", "test": "true()",
     "message": "reported without an id"},
    {"kind": "failed-assert", "id": "ODD-CAUTION", "flag": "caution", "severity": "error",
     "overridden": false, "rejects": true, "location": null, "test": "false()",
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
          "rejected: invoice.xml (2 findings reject it)\n",
      r.out);
  EXPECT_EQ("", r.err);
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
                "fails_midway.xsl: the run failed with status 2\n",
            r.out);
  EXPECT_NE(std::string::npos, r.err.find("Run stopped")) << r.err;
  EXPECT_EQ(readFile(kFixtures + "old_report.xml"),
            readFile(folder.path + "/invoice_fails_midway.xml"));
  EXPECT_FALSE(fs::exists(folder.path + "/invoice_odd_findings.xml"));
}

}  // namespace
