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

// The files under `root`, by their path below it, without those under
// `leaveOut`.
std::set<std::string> filesUnder(const fs::path& root, const std::string& leaveOut) {
  std::set<std::string> found;
  for (auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = entry.path().lexically_relative(root).string();
    if (entry.is_regular_file() && (leaveOut.empty() || relative.rfind(leaveOut, 0) != 0))
      found.insert(relative);
  }
  return found;
}

// Command lines a CI job written for the reference validator runs, each
// with the files it must leave beside the inbox and its status: reports in
// the current folder unless -o says otherwise, -h's HTML beside each
// report, no SVRL file unless asked, options after the documents, a
// document redirected in, and the reference's options that are not ours
// refused or, for the service's, ignored with a warning.
TEST(ReleasedConfigurations, ReferenceCommandLinesLeaveTheirFiles) {
  const std::string good = kConfigurations + "peppol-bis-3.0.18/test-files/good/ubl/base-example.xml";
  const std::string repository = fs::path(kPeppol18).parent_path().string();
  std::string bad = readFile(good);
  bad.replace(bad.find("<cbc:InvoiceTypeCode>380"), 24, "<cbc:InvoiceTypeCode>999");
  struct Case {
    std::string line;  // after the program, through the shell; S is the configuration
    int status;
    std::set<std::string> files;  // left outside the inbox
    const char* says = "";        // a part of standard output and error
  };
  for (const Case& c : std::initializer_list<Case>{
           {"-s S inbox/good.xml", 0, {"good-report.xml"}},
           {"-s S -h -o out inbox/good.xml inbox/bad.xml", 1,
            {"out/good-report.xml", "out/good-report.html", "out/bad-report.xml",
             "out/bad-report.html"}},
           {"-s S -r R -o out -h inbox", 1,
            {"out/good-report.xml", "out/good-report.html", "out/bad-report.xml",
             "out/bad-report.html"}},
           {"-s S --report-prefix ci- --report-postfix -v1 -o out inbox/good.xml", 0,
            {"out/ci-good-report-v1.xml"}},
           {"-s S < inbox/good.xml", 0, {"stdin-report.xml"}},
           {"-s S < inbox/bad.xml -p", 1, {"stdin-report.xml"}, "<rep:report"},
           {"cat inbox/bad.xml | --json -s S -o out", 1, {"out/stdin-report.xml"},
            "\"document\": \"stdin.xml\""},
           {"inbox/good.xml -s S -o out --serialize-report-input", 0,
            {"out/good-report.xml", "out/good-report-input.xml"}},
           {"-s S --svrl inbox/good.xml", 0,
            {"good-report.xml", "good_CEN-EN16931-UBL.xml", "good_PEPPOL-EN16931-UBL.xml"}},
           {"-s S -T 4 --disable-gui inbox/good.xml", 0, {"good-report.xml"},
            "-T is an option of the service and is ignored without --daemon"},
           {"-s S -c assertions.xml inbox/good.xml", 2, {}, "not offered here"},
           {"-s S --html out inbox/good.xml", 2, {}, "document does not exist: out"},
           {"-s S < empty.txt", 2, {"empty.txt"}, "standard input is empty"},
           {"-s S < /dev/null", 2, {}, "expected at least one document"},
       }) {
    SCOPED_TRACE(c.line);
    Scratch scratch;
    fs::create_directories(scratch.root / "inbox");
    fs::copy_file(good, scratch.root / "inbox/good.xml");
    std::ofstream(scratch.root / "inbox/bad.xml") << bad;
    if (c.files.count("empty.txt"))
      std::ofstream(scratch.root / "empty.txt").flush();
    std::string line = c.line;
    for (size_t at; (at = line.find(" S ")) != std::string::npos;) line.replace(at + 1, 1, "\"$1\"");
    for (size_t at; (at = line.find(" R ")) != std::string::npos;) line.replace(at + 1, 1, "\"$2\"");
    // "cat FILE | options": the document comes through a pipe.
    std::string command = "exec \"$0\" " + line;
    if (const size_t pipe = line.find("| "); line.rfind("cat ", 0) == 0 && pipe != std::string::npos)
      command = line.substr(0, pipe + 2) + "exec \"$0\" " + line.substr(pipe + 2);
    const ProcessResult r = runProcess({"/bin/sh", "-c", command, VERDICT_EXE, kPeppol18, repository},
                                       kInProcess, scratch.root.string());
    EXPECT_EQ(c.status, r.exitCode) << r.out << r.err;
    EXPECT_EQ(c.files, filesUnder(scratch.root, "inbox/")) << r.err;
    EXPECT_EQ((std::set<std::string>{"bad.xml", "good.xml"}),
              filesUnder(scratch.root / "inbox", ""));
    EXPECT_NE(std::string::npos, (r.out + r.err).find(c.says)) << r.out << r.err;
  }
}

// No output of a call may be one of its inputs, whatever names it, in
// scenario mode as by hand: a document named like another's report,
// found by a folder walk, reached through a prefix and postfix, the
// report's input, its HTML, an SVRL file kept on request, a page, the
// JUnit file, a hard link of a document, or the file standard input is
// redirected from; nor may two outputs be one file. Each is refused before anything runs, the inputs unchanged.
TEST(ReleasedConfigurations, NoOutputOverAnInput) {
  const std::string good = kConfigurations + "peppol-bis-3.0.18/test-files/good/ubl/base-example.xml";
  struct Case {
    std::string line;     // in the inbox; S is the configuration
    const char* victim;   // an invoice of the inbox, named like an output
    const char* says;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"-s S x.xml x-report.xml", "x-report.xml",
            "the validation report ./x-report.xml of x.xml would overwrite the document x-report.xml"},
           {"-s S .", "x-report.xml", "would overwrite the document ./x-report.xml"},
           {"-s S -o . x.xml x-report.xml", "x-report.xml", "would overwrite the document x-report.xml"},
           {"-s S --report-prefix p- --report-postfix -v1 x.xml p-x-report-v1.xml",
            "p-x-report-v1.xml", "would overwrite the document p-x-report-v1.xml"},
           {"-s S --report-input x.xml x-report-input.xml", "x-report-input.xml",
            "the validation report's input ./x-report-input.xml of x.xml would overwrite"},
           {"-s S -h x.xml x-report.html", "x-report.html",
            "the validation report's HTML ./x-report.html of x.xml would overwrite"},
           {"-s S --svrl x.xml x_PEPPOL-EN16931-UBL.xml", "x_PEPPOL-EN16931-UBL.xml",
            "the report ./x_PEPPOL-EN16931-UBL.xml of x.xml would overwrite"},
           {"-s S --pages . x.xml x.xml.html", "x.xml.html",
            "the page ./x.xml.html of x.xml would overwrite the document x.xml.html"},
           {"-s S --junit other.xml x.xml other.xml", "other.xml",
            "the JUnit file other.xml would overwrite the document other.xml"},
           {"-s S -o out x.xml", "out/x-report.xml",  // a hard link of x.xml
            "the validation report out/x-report.xml of x.xml would overwrite the document x.xml"},
           {"-s S < stdin-report.xml", "stdin-report.xml",
            "the validation report ./stdin-report.xml of stdin.xml would overwrite the file on "
            "standard input"},
           {"-s S --junit x-report.xml x.xml", "",
            "the JUnit file x-report.xml and the validation report ./x-report.xml of x.xml are "
            "the same file"},
       }) {
    SCOPED_TRACE(c.line);
    Scratch scratch;
    const fs::path inbox = scratch.root / "inbox";
    fs::create_directories(inbox / "out");
    fs::copy_file(good, inbox / "x.xml");
    if (std::string(c.victim) == "out/x-report.xml")
      fs::create_hard_link(inbox / "x.xml", inbox / c.victim);
    else if (*c.victim != '\0')
      fs::copy_file(good, inbox / c.victim);
    const std::set<std::string> before = filesUnder(inbox, "");
    ASSERT_FALSE(before.empty());
    std::string line = c.line;
    line.replace(line.find(" S "), 3, " \"$1\" ");
    const ProcessResult r = runProcess({"/bin/sh", "-c", "exec \"$0\" " + line, VERDICT_EXE, kPeppol18},
                                       kInProcess, inbox.string());
    EXPECT_EQ(2, r.exitCode) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.err.find(c.says)) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("; nothing was checked")) << r.err;
    EXPECT_EQ("", r.out);
    EXPECT_EQ(before, filesUnder(inbox, ""));
    for (const std::string& name : before)
      EXPECT_EQ(readFile(good), readFile((inbox / name).string())) << name;
  }
}

// Help and version only alone: with anything else a script meant to check
// something, so it is a usage error, never help and success. The help
// lists every option with its short form.
TEST(ReleasedConfigurations, HelpAndVersionOnlyAlone) {
  Scratch scratch;
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"-s", kPeppol18, "-r", kConfigurations, "--help", "invoice.xml"},
           {"--help", "invoice.xml"},
           {"--version", "--json"},
           {"-?", "--version"}}) {
    ProcessResult r = verdict(arguments, scratch.root);
    EXPECT_EQ(2, r.exitCode) << arguments[0];
    EXPECT_EQ("", r.out);
  }
  ProcessResult help = verdict({"--help"}, scratch.root);
  EXPECT_EQ(0, help.exitCode);
  // No argument at all from a terminal is a call for help; from a device
  // (the test's /dev/null) it is a usage error.
  if (fs::exists("/usr/bin/script")) {
    ProcessResult typed = runProcess(
        {"/usr/bin/script", "-qec", std::string(VERDICT_EXE), "/dev/null"}, kInProcess,
        scratch.root.string());
    EXPECT_EQ(0, typed.exitCode) << typed.out;
    EXPECT_NE(std::string::npos, typed.out.find("usage: xslvalidate-verdict")) << typed.out;
  }
  EXPECT_EQ(2, verdict({}, scratch.root).exitCode);
  for (const char* option :
       {"-s, --scenarios", "-r, --repository", "-o, --output-directory", "--stdin-name",
        "--rules", "--json", "--jobs", "--shard", "--junit", "--pages", "-h, --html", "--svrl",
        "--serialize-report-input", "--warnings-as-errors", "--help, -?"})
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
  for (const char* report : {"out/inbox/invoice-report.xml", "out/south/invoice-report.xml"})
    EXPECT_TRUE(fs::exists(scratch.root / report)) << report;
  fs::create_directories(scratch.root / "east/inbox");
  ProcessResult same = verdict({"-s", kPeppol18, "-o", "out", "north/inbox", "east/inbox"},
                               scratch.root);
  EXPECT_EQ(2, same.exitCode);
  EXPECT_NE(std::string::npos, same.err.find("have the same name")) << same.err;
}

}  // namespace
