// xslvalidate-verdict with the scenario configurations users download, as
// released and unchanged (../shared/configurations), on the real engine:
// their own test invoices, the shared invoices, several configurations in
// one call, a document on standard input, inboxes with the same names, and
// options a script cannot misread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kShared = XSLVALIDATE_SHARED_DIR;
const std::string kConfigurations = kShared + "/configurations/";
const std::string kPeppol9 = kConfigurations + "peppol-bis-3.0.9/scenarios.xml";
const std::string kPeppol18 = kConfigurations + "peppol-bis-3.0.18/scenarios.xml";
const std::string kZugferd = kConfigurations + "zugferd-2.5/scenarios.xml";
const std::vector<std::string> kInProcess = {"PATH=/usr/bin:/bin", "XSLVALIDATE_SERVER=off"};

// The reasons a document may be rejected for, and a verdict withheld for.
const std::set<std::string> kRejectCodes = {"rule-findings", "schema-invalid", "not-well-formed",
                                            "doctype-refused", "no-scenario-matched"};

struct Scratch {
  fs::path root;
  Scratch() {
    char name[] = "/tmp/xslvalidate-configurations-test-XXXXXX";
    root = mkdtemp(name);
  }
  ~Scratch() { fs::remove_all(root); }
};

ProcessResult verdict(std::vector<std::string> arguments, const fs::path& directory) {
  arguments.insert(arguments.begin(), VERDICT_EXE);
  return runProcess(arguments, kInProcess, directory.string());
}

// JSON Lines by document, as the batch writes them.
std::map<std::string, json> byDocument(const std::string& out) {
  std::map<std::string, json> found;
  std::stringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    json doc = json::parse(line);
    found[fs::path(doc["document"].get<std::string>()).filename().string()] = doc;
  }
  return found;
}

// Whether the reference validator's report accepted its document.
bool referenceAccepts(const fs::path& report) {
  std::ifstream in(report);
  std::stringstream text;
  text << in.rdbuf();
  return text.str().find("<rep:accept") != std::string::npos;
}

// Each configuration over the test invoices its publisher ships: every one
// gets its scenario, passes the schema step and both rule sets, and gets the
// verdict the reference validator's own reports give it (PEPPOL 3.0.9) or
// the folder's name promises (good).
TEST(ReleasedConfigurations, TheirOwnTestInvoicesGetThePublishersVerdicts) {
  Scratch scratch;
  struct Case { std::string configuration; std::string invoices; std::string reports; };
  for (const Case& c : std::initializer_list<Case>{
           {kPeppol9, kConfigurations + "peppol-bis-3.0.9/test-files/good",
            kConfigurations + "peppol-bis-3.0.9/reference-reports"},
           {kPeppol18, kConfigurations + "peppol-bis-3.0.18/test-files/good/ubl", ""}}) {
    SCOPED_TRACE(c.configuration);
    ProcessResult r = verdict({"--json", "-s", c.configuration, "-o", "out", c.invoices},
                              scratch.root);
    std::map<std::string, json> found = byDocument(r.out);
    size_t expected = 0;
    for (auto& entry : fs::directory_iterator(c.invoices)) {
      const std::string name = entry.path().filename().string();
      ++expected;
      ASSERT_TRUE(found.count(name)) << name << r.err;
      const json& doc = found[name];
      bool accepts = true;
      if (!c.reports.empty())
        accepts = referenceAccepts(c.reports + "/" + entry.path().stem().string() + "-report.xml");
      EXPECT_EQ(accepts ? "accepted" : "rejected", doc["verdict"]) << name << " " << doc["reason"];
      EXPECT_FALSE(doc["scenario"].is_null()) << name;
      EXPECT_EQ("valid", doc["schema"]["state"]) << name;
      EXPECT_EQ(2u, doc["ruleSets"].size()) << name;
    }
    EXPECT_EQ(expected, found.size());
    EXPECT_EQ(0, r.exitCode) << r.err;
  }
}

// The shared invoices through two released configurations: no invoice is
// left without a verdict; each one either gets a scenario of the
// configuration meant for its syntax or is rejected as one no scenario is
// for, and every rejection names its reason.
TEST(ReleasedConfigurations, SharedInvoicesGetAVerdictAndAReason) {
  Scratch scratch;
  struct Case { std::string configuration; std::string syntax; };
  for (const Case& c : std::initializer_list<Case>{{kPeppol18, "ubl"}, {kZugferd, "cii"}}) {
    SCOPED_TRACE(c.configuration);
    ProcessResult r = verdict({"--json", "-s", c.configuration, "-o", "out",
                               kShared + "/invoices"},
                              scratch.root);
    std::map<std::string, json> found = byDocument(r.out);
    EXPECT_EQ(44u, found.size()) << r.err;
    size_t matched = 0;
    for (const auto& [name, doc] : found) {
      SCOPED_TRACE(name);
      EXPECT_NE("no verdict", doc["verdict"]) << doc["reason"];
      const bool ownSyntax = doc["document"].get<std::string>().find("/" + c.syntax + "/") !=
                             std::string::npos;
      if (!ownSyntax) {
        EXPECT_EQ("no-scenario-matched", doc["reasonCode"]);
        continue;
      }
      matched += !doc["scenario"].is_null();
      if (doc["verdict"] == "rejected")
        EXPECT_TRUE(kRejectCodes.count(doc["reasonCode"].get<std::string>())) << doc["reasonCode"];
      else
        EXPECT_TRUE(doc["reasonCode"].is_null());
    }
    EXPECT_GE(matched, 4u);
    EXPECT_NE(3, r.exitCode) << r.err;
  }
}

// Two configurations in one call over a folder of both syntaxes: the first
// scenario that matches, over the configurations in order, checks each
// document, so each gets what the configuration meant for it gives alone;
// repositories given by name or in order change nothing.
TEST(ReleasedConfigurations, SeveralConfigurationsInOneCall) {
  Scratch scratch;
  const std::string invoices = kShared + "/invoices";
  std::map<std::string, json> peppol =
      byDocument(verdict({"--json", "-s", kPeppol18, "-o", "a", invoices}, scratch.root).out);
  std::map<std::string, json> zugferd =
      byDocument(verdict({"--json", "-s", kZugferd, "-o", "b", invoices}, scratch.root).out);
  const std::string peppolFolder = fs::path(kPeppol18).parent_path().string();
  const std::string zugferdFolder = fs::path(kZugferd).parent_path().string();
  const std::vector<std::vector<std::string>> forms = {
      {"-s", kPeppol18, "-s", kZugferd},
      {"--scenarios", kPeppol18, "--repository", peppolFolder, "--scenarios", kZugferd,
       "--repository", zugferdFolder},
      {"-s", "z=" + kZugferd, "-s", "p=" + kPeppol18, "-r", "p=" + peppolFolder, "-r",
       "z=" + zugferdFolder}};
  for (size_t form = 0; form < forms.size(); ++form) {
    SCOPED_TRACE(form);
    std::vector<std::string> arguments = {"--json", "-o", "c" + std::to_string(form)};
    arguments.insert(arguments.end(), forms[form].begin(), forms[form].end());
    arguments.push_back(invoices);
    ProcessResult r = verdict(arguments, scratch.root);
    std::map<std::string, json> both = byDocument(r.out);
    ASSERT_EQ(peppol.size(), both.size()) << r.err;
    for (const auto& [name, doc] : both) {
      SCOPED_TRACE(name);
      const json& alone = !peppol[name]["scenario"].is_null() ? peppol[name] : zugferd[name];
      EXPECT_EQ(alone["scenario"], doc["scenario"]);
      EXPECT_EQ(alone["configuration"], doc["configuration"]);
      EXPECT_EQ(alone["verdict"], doc["verdict"]);
      EXPECT_EQ(alone["reasonCode"], doc["reasonCode"]);
    }
  }
  // A bad configuration among good ones is refused before anything runs.
  std::ofstream(scratch.root / "bad.xml") << "<scenarios/>\n";
  ProcessResult bad = verdict({"-s", kPeppol18, "-s", "bad.xml", "-o", "d", invoices}, scratch.root);
  EXPECT_EQ(2, bad.exitCode);
  EXPECT_NE(std::string::npos, bad.err.find("scenarios configuration bad.xml refused")) << bad.err;
  EXPECT_FALSE(fs::exists(scratch.root / "d"));
  ProcessResult unpaired = verdict({"-s", kPeppol18, "-s", kZugferd, "-r", peppolFolder, "-r",
                                    zugferdFolder, "-r", peppolFolder, invoices},
                                   scratch.root);
  EXPECT_EQ(2, unpaired.exitCode) << unpaired.err;
}

// A document piped in: checked as the same file would be, named stdin.xml
// (or --stdin-name), its reports in the current folder; no copy is left.
TEST(ReleasedConfigurations, DocumentOnStandardInput) {
  Scratch scratch;
  const std::string invoice =
      kConfigurations + "peppol-bis-3.0.18/test-files/good/ubl/base-example.xml";
  struct Case { std::string extra; std::string name; };
  for (const Case& c : std::initializer_list<Case>{{"", "stdin.xml"},
                                                   {"--stdin-name inv-7.xml", "inv-7.xml"}}) {
    SCOPED_TRACE(c.name);
    ProcessResult r = runProcess(
        {"/bin/sh", "-c", "exec \"$0\" --json -s \"$1\" " + c.extra + " - < \"$2\"",
         VERDICT_EXE, kPeppol18, invoice},
        {"PATH=/usr/bin:/bin", "XSLVALIDATE_SERVER=off", "TMPDIR=" + scratch.root.string()},
        scratch.root.string());
    EXPECT_EQ(0, r.exitCode) << r.err;
    json doc = json::parse(r.out);
    EXPECT_EQ(c.name, doc["document"]);
    EXPECT_EQ("accepted", doc["verdict"]);
    const std::string stem = fs::path(c.name).stem().string();
    EXPECT_TRUE(fs::exists(scratch.root / (stem + "_PEPPOL-EN16931-UBL.xml")));
    EXPECT_TRUE(fs::exists(scratch.root / (stem + "_CEN-EN16931-UBL.xml")));
  }
  // Only the reports stay, and the folder where the verdict keeps its own
  // stylesheets between calls: no temporary copy of the input is left.
  const std::string kept = "xslvalidate-verdict-" + std::to_string(getuid());
  for (auto& entry : fs::directory_iterator(scratch.root))
    EXPECT_TRUE(!entry.is_directory() || entry.path().filename() == kept) << entry.path();
  ProcessResult notXml = runProcess(
      {"/bin/sh", "-c", "printf 'not xml' | exec \"$0\" --json -s \"$1\" -", VERDICT_EXE, kPeppol18},
      kInProcess, scratch.root.string());
  EXPECT_EQ(1, notXml.exitCode) << notXml.err;
  EXPECT_EQ("not-well-formed", json::parse(notXml.out)["reasonCode"]);
}

// Help and version only alone: with anything else a script meant to check
// something, so it is a usage error, never help and success. The help
// lists every option with its short form.
TEST(ReleasedConfigurations, HelpAndVersionOnlyAlone) {
  Scratch scratch;
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"-s", kPeppol18, "-r", kConfigurations, "-h", "invoice.xml"},
           {"--help", "invoice.xml"},
           {"--version", "--json"},
           {"-h", "--version"}}) {
    ProcessResult r = verdict(arguments, scratch.root);
    EXPECT_EQ(2, r.exitCode) << arguments[0];
    EXPECT_EQ("", r.out);
  }
  ProcessResult help = verdict({"--help"}, scratch.root);
  EXPECT_EQ(0, help.exitCode);
  for (const char* option : {"-s, --scenarios", "-r, --repository", "-o, --report-dir",
                             "--stdin-name", "--rules", "--json", "--jobs", "--shard",
                             "--junit", "--html", "--warnings-as-errors", "-h, --help"})
    EXPECT_NE(std::string::npos, help.out.find(option)) << option;
}

// Two inboxes whose documents share names: each keeps its reports apart
// under the report folder, under the inbox's own name.
TEST(ReleasedConfigurations, InboxesWithTheSameFileNames) {
  Scratch scratch;
  const std::string good = kConfigurations + "peppol-bis-3.0.18/test-files/good/ubl/";
  for (const char* inbox : {"north/inbox", "south"}) {
    fs::create_directories(scratch.root / inbox);
    fs::copy_file(good + "base-example.xml", scratch.root / inbox / "invoice.xml");
  }
  ProcessResult r = verdict({"-s", kPeppol18, "-o", "out", "north/inbox", "south"}, scratch.root);
  EXPECT_EQ(0, r.exitCode) << r.err;
  for (const char* report : {"out/inbox/invoice_PEPPOL-EN16931-UBL.xml",
                             "out/south/invoice_PEPPOL-EN16931-UBL.xml"})
    EXPECT_TRUE(fs::exists(scratch.root / report)) << report;
  fs::create_directories(scratch.root / "east/inbox");
  ProcessResult same = verdict({"-s", kPeppol18, "-o", "out", "north/inbox", "east/inbox"},
                               scratch.root);
  EXPECT_EQ(2, same.exitCode);
  EXPECT_NE(std::string::npos, same.err.find("have the same name")) << same.err;
}

}  // namespace
