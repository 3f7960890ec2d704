// What a call cannot be made to do, on the real engine: judge a report it
// did not write (a concurrent call writing the same report name), end by
// SIGPIPE, leave scratch behind (a killed call's is swept by the next, an
// interrupted configuration load leaves none), fail beside a concurrent
// call sharing its page folder, or run code or read files a scenario
// configuration smuggles in as data.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "process.h"

namespace {

namespace fs = std::filesystem;

const std::string kTestdata = std::string(VERDICT_SOURCE_DIR) + "/testdata/";

// A private folder for one test with its own TMPDIR, removed afterwards.
struct Place {
  fs::path root;
  Place() {
    char name[] = "/tmp/xslvalidate-ends-test-XXXXXX";
    root = mkdtemp(name);
    fs::create_directories(root / "tmp");
  }
  ~Place() { fs::remove_all(root); }
  std::string at(const std::string& relative) const { return (root / relative).string(); }
  void put(const std::string& relative, const std::string& content) const {
    fs::create_directories((root / relative).parent_path());
    std::ofstream(root / relative, std::ios::binary) << content;
  }
  // In-process engine: a test must not leave an engine server behind.
  std::vector<std::string> environment() const {
    return {"PATH=/usr/bin:/bin", "XSLVALIDATE_SERVER=off", "TMPDIR=" + at("tmp")};
  }
  // What is in the call's temporary folder besides the kept stylesheets'
  // folder, which outlives calls by design.
  std::vector<std::string> scratchLeft() const {
    std::vector<std::string> left;
    const std::string kept = "xslvalidate-verdict-" + std::to_string(geteuid());
    for (const auto& entry : fs::directory_iterator(root / "tmp"))
      if (entry.path().filename() != kept)
        left.push_back(entry.path().filename().string());
    return left;
  }
  std::vector<std::string> names(const std::string& folder) const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(root / folder))
      found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
  }
};

// Two calls at once on one document with two rule sets of the same file
// name write the same report path: each call's verdict is that of its own
// rule set, every round, and no private report is left beside it.
TEST(OwnReports, ConcurrentCallsWithSameNamedRuleSetsJudgeTheirOwn) {
  Place place;
  place.put("doc.xml", "<d ok=\"no\" why=\"it says so\"/>\n");
  fs::create_directories(place.root / "v1");
  fs::create_directories(place.root / "v2");
  fs::copy_file(kTestdata + "marks.xsl", place.root / "v1/r.xsl");       // rejects doc.xml
  fs::copy_file(kTestdata + "empty_svrl.xsl", place.root / "v2/r.xsl");  // accepts it
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    RunningProcess rejecting = startProcess({VERDICT_EXE, "doc.xml", "v1/r.xsl"},
                                            place.environment(), place.root.string());
    RunningProcess accepting = startProcess({VERDICT_EXE, "doc.xml", "v2/r.xsl"},
                                            place.environment(), place.root.string());
    const ProcessResult rejected = waitProcess(rejecting);
    const ProcessResult accepted = waitProcess(accepting);
    EXPECT_EQ(1, rejected.exitCode) << rejected.out << rejected.err;
    EXPECT_EQ(0, accepted.exitCode) << accepted.out << accepted.err;
  }
  EXPECT_EQ((std::vector<std::string>{"doc.xml", "doc_r.xml", "tmp", "v1", "v2"}),
            place.names(""));
}

// Standard output is a pipe nobody reads: the verdict says so with status
// 4 and removes its scratch; xslvalidate still writes its report and
// returns the runs' status. Neither ends by SIGPIPE.
TEST(Ends, ClosedStandardOutputIsAStatusNotASignal) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int status;
    const char* said;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"verdict text", {VERDICT_EXE, "doc.xml", "v/r.xsl"}, 4,
            "xslvalidate-verdict: standard output could not be written: Broken pipe"},
           {"verdict JSON", {VERDICT_EXE, "--json", "doc.xml", "v/r.xsl"}, 4,
            "xslvalidate-verdict: standard output could not be written: Broken pipe"},
           {"verdict batch", {VERDICT_EXE, "--rules", "v/r.xsl", "doc.xml", "doc.xml"}, 4,
            "xslvalidate-verdict: standard output could not be written: Broken pipe"},
           {"xslvalidate", {XSLVALIDATE_EXE, "doc.xml", "v/r.xsl"}, 0,
            "xslvalidate: standard output could not be written: Broken pipe"}}) {
    SCOPED_TRACE(c.name);
    Place place;
    place.put("doc.xml", "<d/>\n");
    fs::create_directories(place.root / "v");
    fs::copy_file(kTestdata + "empty_svrl.xsl", place.root / "v/r.xsl");
    const ProcessResult r = waitProcess(
        startProcess(c.arguments, place.environment(), place.root.string(), {}, true));
    EXPECT_EQ(0, r.signal);
    EXPECT_EQ(c.status, r.exitCode) << r.err;
    EXPECT_NE(std::string::npos, r.err.find(c.said)) << r.err;
    EXPECT_TRUE(fs::exists(place.root / "doc_r.xml"));
    EXPECT_EQ(std::vector<std::string>{}, place.scratchLeft());
  }
}

// A scratch folder whose call was killed (its process is gone) is removed
// by the next call; one whose process lives is left alone. So is a private
// report beside a report the call writes, once it is old enough.
TEST(Ends, StaleScratchOfAKilledCallIsSweptAtTheNextStart) {
  Place place;
  place.put("doc.xml", "<d/>\n");
  const pid_t gone = fork();
  if (gone == 0)
    _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string stale = "xslvalidate-verdict-" + std::to_string(gone) + "-AbCdEf";
  const std::string living = "xslvalidate-verdict-" + std::to_string(getpid()) + "-GhIjKl";
  place.put("tmp/" + stale + "/summary.txt", "left by a killed call");
  place.put("tmp/" + living + "/summary.txt", "a call still at work");
  // Private reports beside the report: one left long ago by a call that
  // is gone, one just made by a call that is gone (of another pid
  // namespace, as far as anyone can tell), one of a call at work.
  const std::string old = ".doc_empty_svrl.xml.verdict-" + std::to_string(gone) + "-3";
  const std::string fresh = ".doc_empty_svrl.xml.verdict-" + std::to_string(gone) + "-4";
  const std::string working = ".doc_empty_svrl.xml.verdict-" + std::to_string(getpid()) + "-5";
  for (const std::string& name : {old, fresh, working})
    place.put(name, "");
  fs::last_write_time(place.root / old,
                      fs::file_time_type::clock::now() - std::chrono::hours(2));
  fs::last_write_time(place.root / working,
                      fs::file_time_type::clock::now() - std::chrono::hours(2));
  const ProcessResult r = runProcess({VERDICT_EXE, "doc.xml", kTestdata + "empty_svrl.xsl"},
                                     place.environment(), place.root.string());
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ(std::vector<std::string>{living}, place.scratchLeft());
  EXPECT_FALSE(fs::exists(place.root / old));
  EXPECT_TRUE(fs::exists(place.root / fresh));
  EXPECT_TRUE(fs::exists(place.root / working));
}

// Two batches at once write their pages and JUnit files into one folder:
// each page is replaced in one step, so neither call finds a page missing.
TEST(Ends, ConcurrentBatchesShareAPageFolder) {
  Place place;
  for (const char* name : {"a.xml", "b.xml", "c.xml"})
    place.put(std::string("in/") + name, "<d/>\n");
  const std::vector<std::string> arguments = {
      VERDICT_EXE, "--rules", kTestdata + "empty_svrl.xsl", "--report-dir", "out",
      "--pages", "pages", "--junit", "pages/junit.xml", "in"};
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    RunningProcess one = startProcess(arguments, place.environment(), place.root.string());
    RunningProcess two = startProcess(arguments, place.environment(), place.root.string());
    for (const ProcessResult& r : {waitProcess(one), waitProcess(two)})
      EXPECT_EQ(0, r.exitCode) << r.err;
  }
  EXPECT_EQ((std::vector<std::string>{"a.xml.html", "b.xml.html", "c.xml.html", "junit.xml"}),
            place.names("pages"));
}

// SIGTERM while the configuration is read: its scratch folder goes with
// the call.
TEST(Ends, SignalWhileTheConfigurationLoadsLeavesNoScratch) {
  Place place;
  place.put("doc.xml", "<d/>\n");
  RunningProcess run = startProcess(
      {VERDICT_EXE, "--scenarios", kTestdata + "scenarios/scenarios.xml", "--repository",
       XSLVALIDATE_SHARED_DIR, "doc.xml"},
      place.environment(), place.root.string());
  ASSERT_GT(run.pid, 0) << run.startError;
  // Loading: the configuration's folder is there, the moment it is made.
  bool loading = false;
  for (int i = 0; i < 20000 && !loading; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    loading = !place.scratchLeft().empty();
  }
  kill(run.pid, SIGTERM);
  const ProcessResult r = waitProcess(run);
  ASSERT_TRUE(loading) << r.err;
  EXPECT_EQ(SIGTERM, r.signal) << "exit code " << r.exitCode << ": " << r.err;
  EXPECT_EQ(std::vector<std::string>{}, place.scratchLeft());
}

// An engine that cannot start (here: a heap size it refuses) leaves the
// document without a verdict, with a configuration as by hand: status 3,
// never a refused configuration.
TEST(Ends, EngineThatCannotStartIsNoVerdict) {
  Place place;
  place.put("doc.xml", "<d/>\n");
  std::vector<std::string> environment = place.environment();
  environment.push_back("XSLVALIDATE_MAX_HEAP=bogus");
  for (const std::vector<std::string>& arguments : std::initializer_list<std::vector<std::string>>{
           {VERDICT_EXE, "doc.xml", kTestdata + "empty_svrl.xsl"},
           {VERDICT_EXE, "--scenarios", kTestdata + "scenarios/scenarios.xml", "--repository",
            XSLVALIDATE_SHARED_DIR, "doc.xml"}}) {
    SCOPED_TRACE(arguments[1]);
    const ProcessResult r = runProcess(arguments, environment, place.root.string());
    EXPECT_EQ(3, r.exitCode) << r.err;
    EXPECT_NE(std::string::npos, (r.out + r.err).find("the engine could not be started"))
        << r.out << r.err;
    EXPECT_EQ(std::vector<std::string>{}, place.scratchLeft());
  }
}

// Outputs that cannot be written (here a folder stands at each page's and
// at the JUnit file's path) are each named, not only the last one.
TEST(Ends, EveryOutputThatCannotBeWrittenIsListed) {
  Place place;
  for (const char* name : {"a.xml", "b.xml"})
    place.put(std::string("in/") + name, "<d/>\n");
  for (const char* blocked : {"pages/a.xml.html/x", "pages/b.xml.html/x", "junit.xml/x"})
    place.put(blocked, "");
  const ProcessResult r = runProcess({VERDICT_EXE, "--rules", kTestdata + "empty_svrl.xsl",
                                      "--pages", "pages", "--junit", "junit.xml", "in"},
                                     place.environment(), place.root.string());
  EXPECT_EQ(4, r.exitCode) << r.err;
  for (const std::string& line : {"xslvalidate-verdict: the page pages/a.xml.html could not be written\n",
                                  "xslvalidate-verdict: the page pages/b.xml.html could not be written\n",
                                  "xslvalidate-verdict: the JUnit file junit.xml could not be written\n"})
    EXPECT_NE(std::string::npos, r.err.find(line)) << line << r.err;
  EXPECT_EQ(std::vector<std::string>{}, place.scratchLeft());
}

// A worker whose scratch folder is removed under it (a cleaner of the
// temporary folder) makes a new one: the removal costs at most the
// document being checked, not every later one.
TEST(Ends, BrokenWorkerIsReplacedAndFailsOnlyItsCurrentDocument) {
  Place place;
  const int documents = 12;
  for (int i = 0; i < documents; ++i)
    place.put("in/d" + std::to_string(10 + i) + ".xml", "<d/>\n");
  RunningProcess run = startProcess({VERDICT_EXE, "--jobs", "1", "--rules",
                                     kTestdata + "empty_svrl.xsl", "--report-dir", "out", "in"},
                                    place.environment(), place.root.string());
  ASSERT_GT(run.pid, 0) << run.startError;
  size_t reportsThen = 0;
  bool removed = false;
  for (int i = 0; i < 20000 && !removed; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!fs::exists(place.root / "out") || fs::is_empty(place.root / "out"))
      continue;
    reportsThen = place.names("out").size();
    // The worker may be writing in it: a removal cut short still removes it.
    for (const std::string& folder : place.scratchLeft()) {
      std::error_code busy;
      removed = fs::remove_all(place.root / "tmp" / folder, busy) > 0 || removed;
    }
  }
  const ProcessResult r = waitProcess(run);
  ASSERT_TRUE(removed) << r.err;
  ASSERT_LT(reportsThen, static_cast<size_t>(documents)) << "the batch ended first";
  EXPECT_LE(r.exitCode, 3) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("documents: 12 (accepted ")) << r.out;
  const bool atMostOne = r.out.find("no verdict 0)") != std::string::npos ||
                         r.out.find("no verdict 1)") != std::string::npos;
  EXPECT_TRUE(atMostOne) << r.out;
}

// A rule set's compile warning shows once per call; a message its run
// writes for each document shows for each, even when the text is the same.
TEST(Messages, CompileWarningsOnceAndEachDocumentsRunMessagesWhole) {
  Place place;
  place.put("in/a.xml", "<d/>\n");
  place.put("in/b.xml", "<d/>\n");
  std::string says = readFile(kTestdata + "warns.xsl");
  const std::string unused = "<xsl:variable name=\"unused\" select=\"1\"/>";
  ASSERT_NE(std::string::npos, says.find(unused));
  says.replace(says.find(unused), unused.size(),
               "<xsl:message>the same line for every document</xsl:message>" + unused);
  place.put("says.xsl", says);
  const ProcessResult r = runProcess({VERDICT_EXE, "--rules", "says.xsl", "in"},
                                     place.environment(), place.root.string());
  EXPECT_EQ(0, r.exitCode) << r.err;
  auto count = [&](const std::string& text) {
    size_t n = 0;
    for (size_t at = r.err.find(text); at != std::string::npos; at = r.err.find(text, at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(1u, count("SXWN9001")) << r.err;
  EXPECT_EQ(2u, count("the same line for every document")) << r.err;
}

// A report folder with no room left: the report's own path and the
// system's reason are the document's reason, not the engine's status.
TEST(Ends, FullReportFolderIsNamed) {
  Place place;
  place.put("invoice.xml", readFile(std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/invoice.xml"));
  fs::create_directories(place.root / "out");
  const ProcessResult r = runProcess(
      {"/usr/bin/unshare", "-m", "/bin/sh", "-c",
       "mount -t tmpfs -o size=8k tmpfs out || exit 77\n"
       "head -c 8192 /dev/zero > out/fill || exit 77\n"
       "exec \"$0\" --report-dir out --rules \"$1\" invoice.xml invoice.xml",
       VERDICT_EXE, std::string(XSLVALIDATE_SOURCE_DIR) + "/examples/rules/totals.xslt"},
      place.environment(), place.root.string());
  if (r.exitCode == 77)
    GTEST_SKIP() << "no private tmpfs here: " << r.err;
  EXPECT_EQ(3, r.exitCode) << r.err;
  const std::string reason =
      "the report out/invoice_totals.xml could not be written (No space left on device)";
  EXPECT_NE(std::string::npos, r.out.find("no verdict: invoice.xml: " +
                                          std::string(XSLVALIDATE_SOURCE_DIR) +
                                          "/examples/rules/totals.xslt: " + reason))
      << r.out;
  EXPECT_EQ(std::vector<std::string>{}, place.scratchLeft());
}

// A scenario configuration with one scenario whose namespace binding,
// match and rule-set location are given; its rule set is marks.xsl.
std::string configuration(const std::string& binding, const std::string& match,
                          const std::string& location) {
  return "<scenarios xmlns=\"http://www.xoev.de/de/validator/framework/1/scenarios\">"
         "<name>Data</name><scenario><name>One</name>" + binding + "<match>" + match +
         "</match><validateWithSchematron><resource><name>r</name><location>" + location +
         "</location></resource></validateWithSchematron></scenario></scenarios>\n";
}

// Configuration texts are data: a prefix that would write markup, a
// location with a control character or leading out of the repository,
// a prefix bound twice or to a reserved namespace, a match that is not
// XPath or fails on any document, and a match of megabytes are refused
// before any document is read, naming the configuration and the reason
// once; a match that raises a dynamic error on a document is named; a
// match with quotes and markup in it is tested as written.
TEST(ConfigurationData, RefusedOrTestedAsWritten) {
  Place place;
  place.put("doc.xml", "<d ok=\"no\" why=\"because\"/>\n");
  place.put("outside.xsl", readFile(kTestdata + "marks.xsl"));
  place.put("repo/marks.xsl", readFile(kTestdata + "marks.xsl"));
  fs::create_directory_symlink(place.root, place.root / "repo/up");
  const std::string bound = "<namespace prefix=\"p\">urn:p</namespace>";
  const std::string huge = "true() or " + std::string(100000, ' ') + "false()";
  struct Case { const char* name; std::string text; int status; std::string said; };
  for (const Case& c : std::initializer_list<Case>{
           {"prefix with markup",
            configuration("<namespace prefix='p=\"urn:p\" test=\"false()\"/&gt;&lt;when test=\"true()\"&gt;&lt;x'>urn:p</namespace>",
                          "false()", "marks.xsl"),
            2, "scenario \"One\": namespace prefix \"p=\"urn:p\" test=\"false()\"/><when"},
           {"NUL in a location", configuration(bound, "true()", "marks.xsl%00junk"), 2,
            "location \"marks.xsl%00junk\" is refused: it holds the control character U+0000"},
           {"parent folder", configuration(bound, "true()", "../outside.xsl"), 2,
            "location \"../outside.xsl\" is refused: access denied"},
           {"absolute path", configuration(bound, "true()", place.at("outside.xsl")), 2,
            "is refused: access denied: it is an absolute path"},
           {"link out", configuration(bound, "true()", "up/outside.xsl"), 2,
            "location \"up/outside.xsl\" is refused: access denied"},
           {"huge match", configuration(bound, huge, "marks.xsl"), 2,
            "the match of scenario \"One\" is " + std::to_string(huge.size()) +
                " bytes long, more than the 65536 a match may have: \"true() or "},
           {"prefix bound twice",
            configuration(bound + "<namespace prefix=\"p\">urn:q</namespace>", "/p:d", "marks.xsl"),
            2, "scenario \"One\": namespace prefix \"p\" is bound twice"},
           {"reserved namespace",
            configuration("<namespace prefix=\"p\">http://www.w3.org/2000/xmlns/</namespace>",
                          "/p:d", "marks.xsl"),
            2, "scenario \"One\": namespace prefix \"p\" is bound to the reserved namespace"},
           {"not XPath", configuration(bound, "/p:d[", "marks.xsl"), 2,
            "the match of scenario \"One\" is not a valid XPath expression: /p:d["},
           {"dynamic error on any document",
            configuration(bound, "count(1 to 100000000000) gt 0", "marks.xsl"), 2,
            "the match of scenario \"One\" raises a dynamic error on a document it is not meant "
            "for"},
           {"dynamic error", configuration(bound, "if (/d) then error() else false()", "marks.xsl"),
            3, "the match of scenario \"One\" raised a dynamic error on this document"},
           {"quotes and markup",
            configuration(bound, "count(/d) &lt; 2 and \"a\" = 'a' and not(/p:x)", "marks.xsl"), 1,
            "rejected: doc.xml"}}) {
    SCOPED_TRACE(c.name);
    place.put("repo/scenarios.xml", c.text);
    const ProcessResult r = runProcess(
        {VERDICT_EXE, "--scenarios", place.at("repo/scenarios.xml"), "doc.xml"},
        place.environment(), place.root.string());
    EXPECT_EQ(c.status, r.exitCode) << r.out << r.err;
    const std::string& said = c.status == 2 ? r.err : r.out;
    EXPECT_NE(std::string::npos, said.find(c.said)) << said;
    if (c.status == 2) {
      EXPECT_NE(std::string::npos, r.err.find("scenarios configuration " +
                                              place.at("repo/scenarios.xml") + " refused: "));
      // Said once, in the configuration's words: nothing of the engine's
      // runs over the stylesheets generated from it.
      EXPECT_EQ(r.err.find(c.said), r.err.rfind(c.said)) << r.err;
      EXPECT_EQ(std::string::npos, r.err.find("SAXParseException")) << r.err;
      EXPECT_EQ(std::string::npos, r.err.find("match-")) << r.err;
    }
    EXPECT_LT(r.err.size(), 4000u) << "a message quotes the match whole";
    EXPECT_EQ(std::vector<std::string>{}, place.scratchLeft());
  }
}

}  // namespace
