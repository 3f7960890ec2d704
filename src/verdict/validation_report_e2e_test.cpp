// The configuration's own validation report, as the reference validator
// makes it, from released configurations run unchanged: the reports of the
// PEPPOL 3.0.9 test invoices agree with the reference validator's own, every
// report and its input follow their published schemas, acceptMatch and the
// report's assessment decide, noScenarioReport, and the files around it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kShared = XSLVALIDATE_SHARED_DIR;
const std::string kConfigurations = kShared + "/configurations/";
const std::string kPeppol9 = kConfigurations + "peppol-bis-3.0.9/";
const std::string kZugferd = kConfigurations + "zugferd-2.5/";
const std::string kFixtures = std::string(VERDICT_SOURCE_DIR) + "/testdata/";
const std::vector<std::string> kInProcess = {"PATH=/usr/bin:/bin", "XSLVALIDATE_SERVER=off"};

struct Scratch {
  fs::path root;
  Scratch() {
    char name[] = "/tmp/xslvalidate-report-test-XXXXXX";
    root = mkdtemp(name);
  }
  ~Scratch() { fs::remove_all(root); }
};

ProcessResult verdict(std::vector<std::string> arguments, const fs::path& directory) {
  arguments.insert(arguments.begin(), VERDICT_EXE);
  return runProcess(arguments, kInProcess, directory.string());
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

ProcessResult xmllint(const std::vector<std::string>& arguments) {
  std::vector<std::string> command = {"/usr/bin/xmllint"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return runProcess(command, kInProcess);
}

// The published input schema refers to SVRL's schematron-output without
// importing its namespace, which xmllint refuses; a copy of it with that
// import, and a schema that takes any schematron-output, in `folder`.
std::string inputSchema(const fs::path& folder) {
  for (const char* name : {"createReportInput.xsd", "scenarios.xsd"})
    fs::copy_file(kConfigurations + "formats/" + name, folder / name);
  std::string text = readFile(folder / "createReportInput.xsd");
  const std::string anchor = "schemaLocation=\"scenarios.xsd\"/>";
  text.insert(text.find(anchor) + anchor.size(),
              "<xs:import namespace=\"http://purl.oclc.org/dsdl/svrl\" schemaLocation=\"svrl.xsd\"/>");
  std::ofstream(folder / "createReportInput.xsd", std::ios::trunc) << text;
  std::ofstream(folder / "svrl.xsd")
      << "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
         "targetNamespace=\"http://purl.oclc.org/dsdl/svrl\"><xs:element name=\"schematron-output\">"
         "<xs:complexType><xs:sequence><xs:any processContents=\"skip\" minOccurs=\"0\" "
         "maxOccurs=\"unbounded\"/></xs:sequence><xs:anyAttribute processContents=\"skip\"/>"
         "</xs:complexType></xs:element></xs:schema>\n";
  return (folder / "createReportInput.xsd").string();
}

// The eight PEPPOL 3.0.9 test invoices: each report agrees with the
// reference validator's in all but engine, timestamp and document reference
// (assessment, document data, every step's validity and messages, the
// explanation), follows report.xsd, and its input follows its schema.
TEST(ValidationReport, AgreesWithTheReferenceValidatorsReports) {
  Scratch scratch;
  ProcessResult r = verdict({"--json", "--report-input", "-s", kPeppol9 + "scenarios.xml", "-o",
                             "out", kPeppol9 + "test-files/good"},
                            scratch.root);
  EXPECT_EQ(0, r.exitCode) << r.err;
  const std::string schema = inputSchema(scratch.root);
  size_t compared = 0;
  for (auto& entry : fs::directory_iterator(kPeppol9 + "reference-reports")) {
    if (entry.path().extension() != ".xml")
      continue;
    const std::string name = entry.path().filename().string();
    const fs::path ours = scratch.root / "out" / name;
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::exists(ours));
    ProcessResult same = runProcess({"/usr/bin/python3", kFixtures + "same_report.py",
                                     entry.path().string(), ours.string()},
                                    kInProcess);
    EXPECT_EQ(0, same.exitCode) << same.out << same.err;
    EXPECT_EQ(0, xmllint({"--noout", "--schema", kPeppol9 + "resources/xsd/report.xsd",
                          ours.string()}).exitCode);
    // As compact as the reference's: not indented, each namespace of the
    // report declared once, on its root.
    const std::string text = readFile(ours);
    EXPECT_LE(text.size() * 4, readFile(entry.path()).size() * 5)
        << text.size() << " bytes against the reference's " << fs::file_size(entry.path());
    size_t declarations = 0;
    for (size_t at = text.find("xmlns:rep="); at != std::string::npos;
         at = text.find("xmlns:rep=", at + 1))
      ++declarations;
    EXPECT_EQ(1u, declarations);
    EXPECT_EQ(std::string::npos, text.find(">\n   <rep:")) << "not indented";
    const std::string input = ours.string().substr(0, ours.string().size() - 4) + "-input.xml";
    ProcessResult valid = xmllint({"--noout", "--schema", schema, input});
    EXPECT_EQ(0, valid.exitCode) << valid.err;
    ++compared;
  }
  EXPECT_EQ(8u, compared);
  // The same reports differ where the document does: the comparison can fail.
  ProcessResult other = runProcess(
      {"/usr/bin/python3", kFixtures + "same_report.py",
       kPeppol9 + "reference-reports/base-example-report.xml",
       (scratch.root / "out/vat-category-E-report.xml").string()},
      kInProcess);
  EXPECT_EQ(1, other.exitCode) << other.out;
}

// Rejections as the report stylesheet's rules give them, on broken copies
// of a test invoice: a schema error and a rule finding each reject, with
// their messages in the report, which still follows report.xsd.
TEST(ValidationReport, BrokenCopiesAreRejectedWithTheirMessages) {
  Scratch scratch;
  const std::string good = readFile(kPeppol9 + "test-files/good/base-example.xml");
  std::ofstream(scratch.root / "schema-error.xml")
      << std::regex_replace(good, std::regex("</cbc:ID>"), "</cbc:ID><cbc:Unknown>x</cbc:Unknown>",
                            std::regex_constants::format_first_only);
  std::ofstream(scratch.root / "rule-error.xml")
      << std::regex_replace(good, std::regex("<cbc:DocumentCurrencyCode>EUR"),
                            "<cbc:DocumentCurrencyCode>XXX");
  struct Case { const char* document; const char* step; const char* code; };
  for (const Case& c : std::initializer_list<Case>{{"schema-error.xml", "val-xsd", "schema-invalid"},
                                                    {"rule-error.xml", "val-sch", "rule-findings"}}) {
    SCOPED_TRACE(c.document);
    ProcessResult r = verdict({"--json", "-s", kPeppol9 + "scenarios.xml", c.document}, scratch.root);
    EXPECT_EQ(1, r.exitCode) << r.err;
    const json doc = json::parse(r.out);
    EXPECT_EQ("reject", doc["assessment"]);
    EXPECT_EQ(c.code, doc["reasonCode"]);
    const std::string path = (scratch.root / doc["validationReport"].get<std::string>()).string();
    const std::string report = readFile(path);
    EXPECT_NE(std::string::npos, report.find("<rep:reject")) << report.substr(0, 2000);
    // The failing step is invalid and carries at least one message.
    const std::string messages = xmllint(
        {"--xpath", std::string("count(//*[local-name()='validationStepResult'][starts-with(@id,'") +
                        c.step + "')][@valid='false']/*[local-name()='message'])",
         path}).out;
    EXPECT_NE("0", messages) << report.substr(0, 4000);
    EXPECT_FALSE(messages.empty());
    EXPECT_EQ(0, xmllint({"--noout", "--schema", kPeppol9 + "resources/xsd/report.xsd",
                          (scratch.root / doc["validationReport"].get<std::string>()).string()})
                     .exitCode);
  }
}

// acceptMatch decides where a scenario has one: the ZUGFeRD configuration
// accepts by it; the same configuration whose acceptMatch refuses
// everything (a copy beside the original's resources) rejects the same
// invoice, and says that the report decided against the findings.
TEST(ValidationReport, AcceptMatchDecides) {
  Scratch scratch;
  const std::string invoice = kShared + "/invoices/cii/CII_example1.xml";
  ProcessResult accepted = verdict({"--json", "-s", kZugferd + "scenarios.xml", invoice}, scratch.root);
  EXPECT_EQ(0, accepted.exitCode) << accepted.err;
  json doc = json::parse(accepted.out);
  EXPECT_EQ("accept", doc["assessment"]);
  EXPECT_EQ("acceptMatch", doc["assessmentBy"]);

  std::string configuration = readFile(kZugferd + "scenarios.xml");
  configuration = std::regex_replace(configuration, std::regex("<acceptMatch>[^<]*</acceptMatch>"),
                                     "<acceptMatch>false()</acceptMatch>");
  std::ofstream(scratch.root / "refuse-all.xml") << configuration;
  ProcessResult refused = verdict({"--json", "-s", "refuse-all.xml", "-r", kZugferd, invoice},
                                  scratch.root);
  EXPECT_EQ(1, refused.exitCode) << refused.err;
  doc = json::parse(refused.out);
  EXPECT_EQ("rejected", doc["verdict"]);
  EXPECT_EQ("assessment-rejected", doc["reasonCode"]);
  EXPECT_EQ("reject", doc["assessment"]);
  EXPECT_TRUE(doc["assessmentOverrides"].get<bool>());
  EXPECT_EQ(0, doc["rejectingFindings"]);
  ProcessResult text = verdict({"-s", "refuse-all.xml", "-r", kZugferd, invoice}, scratch.root);
  EXPECT_NE(std::string::npos,
            text.out.find("the configuration's report decides: the findings alone would accept"))
      << text.out;
}

// A severity override of the configuration reaches the report: with the
// test configuration, which lowers two PEPPOL rules to warnings, the
// report's own assessment accepts an invoice those rules flag as fatal.
TEST(ValidationReport, CustomLevelReachesTheReport) {
  Scratch scratch;
  fs::copy_file(kShared + "/invoices/ubl/issue116.xml", scratch.root / "issue116.xml");
  ProcessResult r = verdict({"--json", "-s", kFixtures + "scenarios/scenarios.xml", "-r", kShared,
                             "issue116.xml"},
                            scratch.root);
  EXPECT_EQ(0, r.exitCode) << r.err;
  const json doc = json::parse(r.out);
  EXPECT_EQ("accept", doc["assessment"]);
  const std::string report = readFile(scratch.root / "issue116-report.xml");
  EXPECT_NE(std::string::npos, report.find("code=\"PEPPOL-COMMON-R049\"")) << report.substr(0, 3000);
  EXPECT_NE(std::string::npos, report.find("<s:customLevel level=\"warning\""));
  EXPECT_NE(std::string::npos, report.find("<rep:accept"));
}

// A document no scenario is for, and one that is not XML, get the
// configuration's noScenarioReport; the files around a report: its name
// with prefix and postfix, --print, and its HTML beside it.
TEST(ValidationReport, NoScenarioReportNamesPrintAndExplanation) {
  Scratch scratch;
  std::ofstream(scratch.root / "note.xml") << "<note>not an invoice</note>\n";
  std::ofstream(scratch.root / "text.xml") << "not XML\n";
  for (const char* document : {"note.xml", "text.xml"}) {
    SCOPED_TRACE(document);
    ProcessResult r = verdict({"--json", "-s", kPeppol9 + "scenarios.xml", document}, scratch.root);
    EXPECT_EQ(1, r.exitCode) << r.err;
    const fs::path report = scratch.root / (fs::path(document).stem().string() + "-report.xml");
    const std::string text = readFile(report);
    EXPECT_NE(std::string::npos, text.find("rep:noScenarioMatched")) << text.substr(0, 2000);
    EXPECT_NE(std::string::npos, text.find("<rep:reject"));
    EXPECT_EQ(0, xmllint({"--noout", "--schema", kPeppol9 + "resources/xsd/report.xsd",
                          report.string()}).exitCode);
  }

  const std::string invoice = kPeppol9 + "test-files/good/base-example.xml";
  ProcessResult named = verdict({"-s", kPeppol9 + "scenarios.xml", "-o", "out", "--report-prefix",
                                 "in-", "--report-postfix", "-v1", "-h", "--pages", "pages", invoice},
                                scratch.root);
  EXPECT_EQ(0, named.exitCode) << named.err;
  EXPECT_TRUE(fs::exists(scratch.root / "out/in-base-example-report-v1.xml"));
  // -h: the report's HTML beside the report, the supplier's page apart.
  const std::string explanation = readFile(scratch.root / "out/in-base-example-report-v1.html");
  EXPECT_NE(std::string::npos, explanation.find("<html")) << explanation.substr(0, 300);
  EXPECT_NE(std::string::npos, explanation.find("Prüfbericht"));
  EXPECT_TRUE(fs::exists(scratch.root / "pages/base-example.xml.html"));

  ProcessResult printed = verdict({"-p", "-s", kPeppol9 + "scenarios.xml", "-o", "p", invoice},
                                  scratch.root);
  EXPECT_EQ(0, printed.exitCode) << printed.err;
  EXPECT_EQ(readFile(scratch.root / "p/base-example-report.xml"), printed.out);
  EXPECT_NE(std::string::npos, printed.err.find("accepted: ")) << printed.err;
  for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
           {"-p", "-s", kPeppol9 + "scenarios.xml", kPeppol9 + "test-files/good"},
           {"-p", "--json", "-s", kPeppol9 + "scenarios.xml", invoice},
           {"-p", invoice, kShared + "/rules/EN16931-UBL-validation.xslt"}})
    EXPECT_EQ(2, verdict(wrong, scratch.root).exitCode) << wrong[1];
}

}  // namespace
