// End-to-end tests: the built tool, run as a user runs it, on the real
// engine. Reports are compared byte for byte with what the engine's own
// command line writes for the same document and stylesheet.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "process.h"
#include "server_setting.h"
#include "version.h"

namespace {

namespace fs = std::filesystem;

const std::string kBanner =
    "xslvalidate " XSLVALIDATE_VERSION
    ": validates an XML document against XSLT stylesheets\n";
const std::string kExamples = XSLVALIDATE_SOURCE_DIR "/examples";
const std::string kShared = XSLVALIDATE_SHARED_DIR;
const std::vector<std::string> kPlainEnvironment = {"PATH=/usr/bin:/bin",
                                                    "LANG=C.UTF-8"};

// Some rule sets stamp their report with the time of the run (PEPPOL's
// write current-dateTime() into dct:created); two runs can never agree on
// it, so comparisons leave that one value out and everything else stands.
std::string withoutRunTime(const std::string& report) {
  static const std::regex created("<dct:created>[^<]*</dct:created>");
  return std::regex_replace(report, created, "<dct:created/>");
}

class EndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/xslvalidate-e2e-XXXXXX";
    dir_ = mkdtemp(name);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the tool with `arguments` after the program name.
  ProcessResult tool(const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment =
                         kPlainEnvironment) {
    std::vector<std::string> argv = {XSLVALIDATE_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runWithServerSetting(argv, environment, dir_);
  }

  // The report that the engine's own command line writes for the pair.
  std::string engineReport(const std::string& document,
                           const std::string& stylesheet) {
    std::string out = dir_ + "/engine-command-line-report.xml";
    ProcessResult r = runProcess(
        {JAVA_EXE, "-cp", SAXON_JAR, "net.sf.saxon.Transform",
         "-s:" + document, "-xsl:" + stylesheet, "-o:" + out},
        kPlainEnvironment);
    EXPECT_EQ(0, r.exitCode) << r.err;
    std::string report = readFile(out);
    fs::remove(out);
    return report;
  }

  // Copies a file into the test's folder under `name`; returns its path.
  std::string place(const std::string& from, const std::string& name) {
    std::string to = dir_ + "/" + name;
    fs::create_directories(fs::path(to).parent_path());
    fs::copy_file(from, to);
    return to;
  }

  std::vector<std::string> listing() {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir_))
      names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir_;
};

TEST_F(EndToEnd, ExampleInvoiceGetsOneReportPerStylesheet) {
  std::string invoice = place(kExamples + "/invoice.xml", "invoice.xml");
  std::string totals = kExamples + "/rules/totals.xslt";
  std::string parties = kExamples + "/rules/parties.xslt";
  ProcessResult r = tool({invoice, totals, parties});
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ(kBanner, r.out);
  std::string report = readFile(dir_ + "/invoice_totals.xml");
  EXPECT_NE(std::string::npos, report.find("id=\"TOT-03\""));
  EXPECT_EQ(engineReport(invoice, totals), report);
  EXPECT_EQ(engineReport(invoice, parties),
            readFile(dir_ + "/invoice_parties.xml"));
}

TEST_F(EndToEnd, PeppolPairMatchesTheEngineCommandLine) {
  std::string invoice = place(kShared + "/invoices/ubl/ubl-tc434-example1.xml",
                              "ubl-tc434-example1.xml");
  std::string en = kShared + "/rules/EN16931-UBL-validation.xslt";
  std::string peppol = kShared + "/rules/PEPPOL-EN16931-UBL.xslt";
  ProcessResult r = tool({invoice, en, peppol});
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ(kBanner, r.out);
  EXPECT_EQ(engineReport(invoice, en),
            readFile(dir_ + "/ubl-tc434-example1_EN16931-UBL-validation.xml"));
  std::string report =
      readFile(dir_ + "/ubl-tc434-example1_PEPPOL-EN16931-UBL.xml");
  EXPECT_NE(std::string::npos, report.find("<dct:created>"));
  EXPECT_EQ(withoutRunTime(engineReport(invoice, peppol)),
            withoutRunTime(report));
}

// Each rule set of both syntaxes over an invoice of its syntax, all in
// one run of the tool per invoice.
TEST_F(EndToEnd, EveryRuleSetMatchesTheEngineCommandLine) {
  struct Case {
    std::string invoice;
    std::vector<std::string> ruleSets;
  };
  const Case cases[] = {
      {"cii/xrechnung-01.01a-INVOICE_uncefact.xml",
       {"EN16931-CII-validation", "XRechnung-CII-validation",
        "PEPPOL-EN16931-CII"}},
      {"ubl/xrechnung-01.01a-INVOICE_ubl.xml", {"XRechnung-UBL-validation"}},
  };
  for (const Case& c : cases) {
    std::string name = fs::path(c.invoice).filename().string();
    std::string invoice = place(kShared + "/invoices/" + c.invoice, name);
    std::vector<std::string> arguments = {invoice};
    for (const std::string& ruleSet : c.ruleSets)
      arguments.push_back(kShared + "/rules/" + ruleSet + ".xslt");
    ProcessResult r = tool(arguments);
    EXPECT_EQ(0, r.exitCode) << r.err;
    for (const std::string& ruleSet : c.ruleSets) {
      std::string report = dir_ + "/" + fs::path(name).stem().string() + "_" +
                           ruleSet + ".xml";
      EXPECT_EQ(withoutRunTime(engineReport(
                    invoice, kShared + "/rules/" + ruleSet + ".xslt")),
                withoutRunTime(readFile(report)))
          << report;
    }
  }
}

TEST_F(EndToEnd, LargeInvoiceWithSpacesAndCommaInItsName) {
  const std::string name =
      "FT G2G_TD01 con Allegato, Bonifico e Split Payment";
  std::string invoice =
      place(kShared + "/invoices/ubl/" + name + ".xml", name + ".xml");
  std::string en = kShared + "/rules/EN16931-UBL-validation.xslt";
  ProcessResult r = tool({invoice, en});
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ(engineReport(invoice, en),
            readFile(dir_ + "/" + name + "_EN16931-UBL-validation.xml"));
}

TEST_F(EndToEnd, StopsAtTheFailingStylesheetAndRunsNoneAfterIt) {
  std::string invoice = place(kExamples + "/invoice.xml", "invoice.xml");
  std::string broken = dir_ + "/broken.xslt";
  std::ofstream(broken) << "<xsl:stylesheet version='2.0' "
                           "xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                           "<xsl:template match='/'><xsl:no-such-instruction/>"
                           "</xsl:template></xsl:stylesheet>";
  ProcessResult r = tool({invoice, kExamples + "/rules/totals.xslt", broken,
                          kExamples + "/rules/parties.xslt"});
  EXPECT_NE(0, r.exitCode);
  EXPECT_EQ(kBanner, r.out);
  EXPECT_NE(std::string::npos, r.err.find("no-such-instruction")) << r.err;
  EXPECT_TRUE(fs::exists(dir_ + "/invoice_totals.xml"));
  EXPECT_FALSE(fs::exists(dir_ + "/invoice_broken.xml"));
  EXPECT_FALSE(fs::exists(dir_ + "/invoice_parties.xml"));
}

TEST_F(EndToEnd, SameStylesheetTwiceRunsTwiceIntoOneReport) {
  std::string invoice = place(kExamples + "/invoice.xml", "invoice.xml");
  std::string totals = kExamples + "/rules/totals.xslt";
  ProcessResult r = tool({invoice, totals, totals});
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ(engineReport(invoice, totals),
            readFile(dir_ + "/invoice_totals.xml"));
}

TEST_F(EndToEnd, MissingStylesheetFailsWithTheEngineMessage) {
  std::string invoice = place(kExamples + "/invoice.xml", "invoice.xml");
  ProcessResult r = tool({invoice, dir_ + "/nowhere.xslt"});
  EXPECT_NE(0, r.exitCode);
  EXPECT_EQ(kBanner, r.out);
  EXPECT_NE(std::string::npos, r.err.find("nowhere.xslt")) << r.err;
  EXPECT_FALSE(fs::exists(dir_ + "/invoice_nowhere.xml"));
}

TEST_F(EndToEnd, DirectoryInputPassesTheCheckAndTheEngineRejectsIt) {
  fs::create_directories(dir_ + "/inbox");
  ProcessResult r = tool({dir_ + "/inbox", kExamples + "/rules/totals.xslt"});
  EXPECT_NE(0, r.exitCode);
  EXPECT_EQ(kBanner, r.out) << "the driver's own check must pass";
  EXPECT_FALSE(r.err.empty());
}

TEST_F(EndToEnd, DriverErrorsNeverStartTheEngine) {
  struct Case {
    std::vector<std::string> arguments;
    std::string line;
  };
  const Case cases[] = {
      {{}, "Error: invalid arguments. Expected xml-file schema1-file "
           "schema2-file ...\n"},
      {{"invoice.xml"}, "Error: invalid arguments. Expected xml-file "
                        "schema1-file schema2-file ...\n"},
      {{"", "s.xslt"}, "Error: input file does not exist\n"},
      {{"missing.xml", "s.xslt"}, "Error: input file does not exist\n"},
  };
  for (const Case& c : cases) {
    ProcessResult r = tool(c.arguments);
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ(kBanner + c.line, r.out);
    EXPECT_EQ("", r.err);
  }
}

// The JVM's own option variables in the caller's environment must not
// reach the engine: with them read, -Xmx1m would end the run and
// PrintFlagsFinal would flood standard output. JDK_JAVA_OPTIONS is read only
// by the java launcher; it is set too, so the tool stays deaf to it.
TEST_F(EndToEnd, JvmOptionVariablesInTheEnvironmentChangeNothing) {
  std::string invoice = place(kExamples + "/invoice.xml", "invoice.xml");
  std::string totals = kExamples + "/rules/totals.xslt";
  std::vector<std::string> environment = kPlainEnvironment;
  environment.insert(environment.end(),
                     {"JAVA_TOOL_OPTIONS=-Xmx1m",
                      "_JAVA_OPTIONS=-XX:+PrintFlagsFinal",
                      "JDK_JAVA_OPTIONS=-XX:+PrintFlagsFinal"});
  ProcessResult r = tool({invoice, totals}, environment);
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ(kBanner, r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(engineReport(invoice, totals),
            readFile(dir_ + "/invoice_totals.xml"));
}

// _JAVA_SR_SIGNUM names the signal the JVM takes for itself even under
// -Xrs; set to SIGTERM's number it would make the tool ignore SIGTERM and
// finish with 0. SIGTERM once the run is under way (it has written the
// first part of its report to its temporary file, so the engine is up)
// must end the tool.
TEST_F(EndToEnd, SigtermEndsTheToolWhateverJavaSrSignumSays) {
  std::string invoice = place(kExamples + "/invoice.xml", "invoice.xml");
  std::ofstream(dir_ + "/slow.xsl")
      << "<xsl:stylesheet version='3.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
         "<xsl:template match='/'><sum>"
         "<xsl:for-each select='1 to 100000'><line n='{.}'/></xsl:for-each>"
         "<xsl:value-of select='sum(for $i in 1 to 2000000000 + count(/*) return $i mod 7)'/>"
         "</sum></xsl:template></xsl:stylesheet>";
  std::vector<std::string> environment = kPlainEnvironment;
  environment.push_back("_JAVA_SR_SIGNUM=15");
  ProcessResult r = runProcess(
      {"/bin/bash", "-c",
       "\"$0\" \"$@\" & for i in $(seq 300); do compgen -G '.invoice_slow.xml.*.tmp' >/dev/null"
       " && break; sleep 0.05; done; kill -TERM $!; wait $!; echo status $?",
       XSLVALIDATE_EXE, invoice, dir_ + "/slow.xsl"},
      withServerSetting(environment), dir_);
  EXPECT_EQ(kBanner + "status 143\n", r.out) << r.err;
  EXPECT_FALSE(fs::exists(dir_ + "/invoice_slow.xml"));
}

// The tool starts and runs where the command line does: under a limit on
// address space (every JVM thread once reserved the run's deep stack) and
// under a small stack limit for the process (Java never runs on the
// caller's thread).
TEST_F(EndToEnd, RunsUnderLimitsOnAddressSpaceAndStack) {
  std::string invoice = place(kExamples + "/invoice.xml", "invoice.xml");
  std::string totals = kExamples + "/rules/totals.xslt";
  std::string expected = engineReport(invoice, totals);
  for (const char* limit : {"ulimit -v 5000000", "ulimit -s 128"}) {
    fs::remove(dir_ + "/invoice_totals.xml");
    ProcessResult r = runProcess({"/bin/bash", "-c", std::string(limit) + " && exec \"$@\"",
                                  "bash", XSLVALIDATE_EXE, invoice, totals},
                                 withServerSetting(kPlainEnvironment), dir_);
    EXPECT_EQ(0, r.exitCode) << limit << ": " << r.err.substr(0, 2000);
    EXPECT_EQ(kBanner, r.out) << limit;
    EXPECT_EQ(expected, readFile(dir_ + "/invoice_totals.xml")) << limit;
  }
}

// Tests whose every call runs in a JVM of its own, whatever the server
// setting: the suite's run with the engine server leaves them out, as it
// would only repeat them.
class InProcessOnly : public EndToEnd {};

// XSLVALIDATE_MAX_HEAP reaches the JVM: a stylesheet that doubles a string
// until it needs some 100 MB at once completes under the default cap and
// fails at once under a 64 MB one, with no report. Values that are not a
// heap size stop the tool before any run.
TEST_F(InProcessOnly, MaxHeapVariableReachesTheJvmAndIsChecked) {
  std::string invoice = place(kExamples + "/invoice.xml", "invoice.xml");
  std::ofstream(dir_ + "/big.xsl")
      << "<xsl:stylesheet version='3.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
         " xmlns:xs='http://www.w3.org/2001/XMLSchema' xmlns:f='urn:f'>"
         "<xsl:function name='f:double' as='xs:string'>"
         "<xsl:param name='s' as='xs:string'/><xsl:param name='n' as='xs:integer'/>"
         "<xsl:sequence select='if ($n eq 0) then $s else f:double(concat($s, $s), $n - 1)'/>"
         "</xsl:function>"
         "<xsl:template match='/'><n><xsl:value-of select=\"string-length(f:double('x', 24))\"/>"
         "</n></xsl:template></xsl:stylesheet>";
  std::vector<std::string> environment = kPlainEnvironment;
  ProcessResult r = tool({invoice, dir_ + "/big.xsl"}, environment);
  EXPECT_EQ(0, r.exitCode) << r.err.substr(0, 2000);
  EXPECT_NE(std::string::npos, readFile(dir_ + "/invoice_big.xml").find(">16777216</n>"));
  fs::remove(dir_ + "/invoice_big.xml");

  environment.push_back("XSLVALIDATE_MAX_HEAP=64m");
  r = tool({invoice, dir_ + "/big.xsl"}, environment);
  EXPECT_EQ(2, r.exitCode);
  EXPECT_EQ(kBanner, r.out);
  EXPECT_NE(std::string::npos, r.err.find("OutOfMemoryError")) << r.err.substr(0, 2000);
  EXPECT_FALSE(fs::exists(dir_ + "/invoice_big.xml"));

  for (const char* value : {"2gb", "63m", "-1", "2g -Xss1g"}) {
    environment.back() = std::string("XSLVALIDATE_MAX_HEAP=") + value;
    r = tool({invoice, kExamples + "/rules/totals.xslt"}, environment);
    EXPECT_EQ(1, r.exitCode) << value;
    EXPECT_EQ(kBanner, r.out) << value;
    EXPECT_NE(std::string::npos,
              r.err.find(std::string("xslvalidate: XSLVALIDATE_MAX_HEAP=") + value +
                         " is not a heap size"))
        << r.err;
    EXPECT_FALSE(fs::exists(dir_ + "/invoice_totals.xml")) << value;
  }

  // A heap beyond the machine's memory is refused before the JVM is tried.
  const long pages = sysconf(_SC_PHYS_PAGES);
  if (pages > 0 && static_cast<double>(pages) * sysconf(_SC_PAGESIZE) < 1024.0 * (1 << 30)) {
    environment.back() = "XSLVALIDATE_MAX_HEAP=1024g";
    r = tool({invoice, kExamples + "/rules/totals.xslt"}, environment);
    EXPECT_EQ(1, r.exitCode);
    EXPECT_NE(std::string::npos,
              r.err.find("xslvalidate: XSLVALIDATE_MAX_HEAP=1024g is more than this machine's "
                         "memory"))
        << r.err;
    EXPECT_FALSE(fs::exists(dir_ + "/invoice_totals.xml"));
    for (const auto& entry : fs::directory_iterator(dir_))
      EXPECT_EQ(std::string::npos, entry.path().filename().string().find("hs_err"));
  }
}

// Standard output that cannot be written changes nothing of the runs: the
// reports are written and the status is theirs; standard error says so.
TEST_F(EndToEnd, UnwritableStandardOutputIsToldOnStandardError) {
  std::string invoice = place(kExamples + "/invoice.xml", "invoice.xml");
  std::string totals = kExamples + "/rules/totals.xslt";
  ProcessResult r = runWithServerSetting({"/bin/bash", "-c", "exec \"$@\" >/dev/full", "bash",
                                          XSLVALIDATE_EXE, invoice, totals},
                                         kPlainEnvironment, dir_);
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ("xslvalidate: standard output could not be written: No space left on device\n",
            r.err);
  EXPECT_EQ(engineReport(invoice, totals), readFile(dir_ + "/invoice_totals.xml"));
}

// An input document behind a folder the user may not search exists but
// cannot be reached: the usual line, and the system's reason on standard
// error. Needs a user other than root, for whom permissions hold.
TEST_F(EndToEnd, UnreachableInputTellsTheReason) {
  if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs setpriv";
  fs::create_directories(dir_ + "/closed");
  std::ofstream(dir_ + "/closed/invoice.xml") << "<Invoice/>";
  fs::permissions(dir_, fs::perms::owner_all | fs::perms::others_exec | fs::perms::others_read);
  fs::permissions(dir_ + "/closed", fs::perms::owner_all);
  ProcessResult r = runProcess({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                "--clear-groups", XSLVALIDATE_EXE, dir_ + "/closed/invoice.xml",
                                "s.xslt"},
                               withServerSetting(kPlainEnvironment));
  if (getuid() != 0) GTEST_SKIP() << "setpriv needs root to change user";
  EXPECT_EQ(1, r.exitCode) << r.err;
  EXPECT_EQ(kBanner + "Error: input file does not exist\n", r.out);
  EXPECT_EQ("xslvalidate: cannot reach " + dir_ + "/closed/invoice.xml: Permission denied\n",
            r.err);
}

// File names the engine must open exactly, whatever the caller's locale:
// the environment here is empty, as under cron.
TEST_F(EndToEnd, NonAsciiNamesWorkWithoutALocale) {
  const std::string names[] = {
      "mit Leerzeichen/Rechnung M\xC3\xBCller.xml",
      "g \xF0\x9D\x84\x9E/x.xml",
      "\xE2\x82\xAC-Rechnungen/\xE5\x8F\x91\xE7\xA5\xA8.xml",
  };
  std::string totals = kExamples + "/rules/totals.xslt";
  std::string expected;
  for (const std::string& name : names) {
    std::string invoice = place(kExamples + "/invoice.xml", name);
    ProcessResult r = tool({invoice, totals}, {});
    EXPECT_EQ(0, r.exitCode) << name << ": " << r.err;
    std::string report = invoice.substr(0, invoice.size() - 4) + "_totals.xml";
    ASSERT_TRUE(fs::exists(report)) << report;
    if (expected.empty())
      expected = engineReport(invoice, totals);
    EXPECT_EQ(expected, readFile(report));
  }
}

// A name that is not valid UTF-8 cannot be opened through the engine; the
// run must fail and say so, and never read or write a different file.
TEST_F(EndToEnd, NameThatIsNotUtf8FailsWithoutTouchingOtherFiles) {
  std::string invoice = place(kExamples + "/invoice.xml", "bad\xFF/inv\xE9.xml");
  std::vector<std::string> before = listing();
  ProcessResult r = tool({invoice, kExamples + "/rules/totals.xslt"});
  EXPECT_NE(0, r.exitCode);
  EXPECT_EQ(kBanner, r.out);
  EXPECT_NE(std::string::npos, r.err.find("UTF-8")) << r.err;
  EXPECT_EQ(before, listing());
}

// The document is input from outside: an external entity naming a local
// file must fail the run before the file is read, and leave no report.
TEST_F(EndToEnd, ExternalEntityNeverBringsAFileIntoAReport) {
  const std::string secret = "SECRET-4b19 from a file the invoice names";
  std::ofstream(dir_ + "/secret.txt") << secret << "\n";
  std::string invoice = dir_ + "/invoice.xml";
  std::ofstream(invoice) << "<!DOCTYPE Invoice [<!ENTITY e SYSTEM \"file://" << dir_
                         << "/secret.txt\">]>\n<Invoice><Note>&e;</Note></Invoice>\n";
  std::vector<std::string> before = listing();
  ProcessResult r = tool({invoice, kExamples + "/rules/totals.xslt"});
  EXPECT_EQ(2, r.exitCode);
  EXPECT_EQ(kBanner, r.out);
  EXPECT_NE(std::string::npos, r.err.find("declares a DOCTYPE")) << r.err;
  EXPECT_EQ(std::string::npos, r.err.find("SECRET-4b19")) << r.err;
  EXPECT_EQ(before, listing()) << "no report, no temporary file";
}

// Nesting far deeper than any invoice fails the run cleanly: the tool
// still detaches from the engine and exits with the run's status.
TEST_F(EndToEnd, AMillionLevelsDeepFailsWithTheRunsStatus) {
  std::string invoice = dir_ + "/deep.xml";
  {
    std::ofstream out(invoice);
    for (int i = 0; i < 1000000; ++i) out << "<a>";
    for (int i = 0; i < 1000000; ++i) out << "</a>";
  }
  std::vector<std::string> before = listing();
  ProcessResult r = tool({invoice, kExamples + "/rules/totals.xslt",
                          kExamples + "/rules/parties.xslt"});
  EXPECT_EQ(2, r.exitCode);
  EXPECT_EQ(0, r.signal);
  EXPECT_EQ(kBanner, r.out);
  EXPECT_NE(std::string::npos, r.err.find("levels deep")) << r.err.substr(0, 2000);
  EXPECT_EQ(before, listing());
}

// A symbolic link planted at the report path is replaced by the report;
// the file it pointed to is left as it was.
TEST_F(EndToEnd, ASymbolicLinkAtTheReportPathIsReplacedNotWrittenThrough) {
  std::string invoice = place(kExamples + "/invoice.xml", "invoice.xml");
  std::string totals = kExamples + "/rules/totals.xslt";
  std::ofstream(dir_ + "/elsewhere.txt") << "left alone\n";
  fs::create_symlink(dir_ + "/elsewhere.txt", dir_ + "/invoice_totals.xml");
  ProcessResult r = tool({invoice, totals});
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_FALSE(fs::is_symlink(dir_ + "/invoice_totals.xml"));
  EXPECT_EQ(engineReport(invoice, totals), readFile(dir_ + "/invoice_totals.xml"));
  EXPECT_EQ("left alone\n", readFile(dir_ + "/elsewhere.txt"));
}

// Every name is a file name exactly as given, relative to the current
// directory: a name that looks like a URI runs, reads or misses the file of
// that name, never another one.
TEST_F(EndToEnd, NamesThatLookLikeUrisAreFileNames) {
  std::string invoice = place(kExamples + "/invoice.xml", "inv.xml");
  place(kExamples + "/rules/totals.xslt", "s.xsl");
  place(kExamples + "/rules/parties.xslt", "file:s.xsl");
  place(kExamples + "/invoice.xml", "classpath:x.xml");
  place(kExamples + "/rules/totals.xslt", "missing.xsl");

  ProcessResult r = tool({"inv.xml", "file:s.xsl"});
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ(engineReport(invoice, dir_ + "/file:s.xsl"), readFile(dir_ + "/inv_file:s.xml"));

  r = tool({"classpath:x.xml", "s.xsl"});
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ(engineReport(dir_ + "/classpath:x.xml", dir_ + "/s.xsl"),
            readFile(dir_ + "/classpath:x_s.xml"));

  r = tool({"inv.xml", "file:missing.xsl"});
  EXPECT_EQ(2, r.exitCode);
  EXPECT_NE(std::string::npos, r.err.find("file:missing.xsl does not exist")) << r.err;
  EXPECT_FALSE(fs::exists(dir_ + "/inv_file:missing.xml"));
}

// XSLVALIDATE_DEBUG=1 tells on standard error how the engine started and
// where the run's time went; without it the engine says nothing.
TEST_F(EndToEnd, DebugSwitchTellsStartUpAndTimingsOnlyWhenSet) {
  std::string invoice = place(kExamples + "/invoice.xml", "invoice.xml");
  std::string totals = kExamples + "/rules/totals.xslt";
  ProcessResult quiet = tool({invoice, totals});
  EXPECT_EQ(0, quiet.exitCode) << quiet.err;
  EXPECT_EQ("", quiet.err);

  std::vector<std::string> environment = kPlainEnvironment;
  environment.push_back("XSLVALIDATE_DEBUG=1");
  ProcessResult told = tool({invoice, totals}, environment);
  EXPECT_EQ(0, told.exitCode) << told.err;
  EXPECT_EQ(kBanner, told.out);
  // Through the suite's engine server, whose JVM started before, the
  // trace shows the server taking the run; in-process, the JVM's start.
  const std::vector<const char*> serverLines = {"xslvalidate debug: engine server ",
                                                "xslvalidate debug: run on the engine server "};
  const std::vector<const char*> inProcessLines = {
      "xslvalidate debug: JVM option -Xmx1g\n", "xslvalidate debug: class-data archive ",
      " mapped\n", "xslvalidate debug: JVM creation ", "xslvalidate debug: run classes ready in "};
  for (const char* line : suiteOnServer() ? serverLines : inProcessLines)
    EXPECT_NE(std::string::npos, told.err.find(line)) << line << " in:\n" << told.err;
  for (const char* line : {"xslvalidate debug: compile ", "xslvalidate debug: transform ",
                           "xslvalidate debug: write "})
    EXPECT_NE(std::string::npos, told.err.find(line)) << line << " in:\n" << told.err;
  EXPECT_EQ(engineReport(invoice, totals), readFile(dir_ + "/invoice_totals.xml"));
}

}  // namespace
