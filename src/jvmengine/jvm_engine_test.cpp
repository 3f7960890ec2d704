// The engine library through its five calls, all in this one process: a
// JVM can be created only once, and a failing run must leave it usable.
//
// The process's environment names the C locale (as under cron or systemd)
// from before the JVM is created, so every non-ASCII file name below is read
// and written without help from the caller's locale; its global locale is
// C.UTF-8, which the engine must leave as it was.
#include <cctype>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine_api.h"

namespace fs = std::filesystem;

namespace {

// JVM options in the environment, which the engine must not hand to its JVM.
const char kToolOptions[] = "-Xmx1m";
const char kJavaOptions[] = "-XX:+NoSuchOptionAnywhere -Dx==y";

graal_isolate_t* gIsolate = nullptr;
graal_isolatethread_t* gThread = nullptr;

// Creates the isolate once for all tests in the C locale, and detaches at
// the end, when a second detach must fail.
class EngineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("LC_ALL", "C", 1);
    unsetenv("LANG");
    // The global locale differs from the environment's, which the JVM
    // applies while it starts: the engine must set this one back.
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    // Either would stop the JVM from starting if it were read; both must
    // be there again, unchanged, once it has started.
    setenv("JAVA_TOOL_OPTIONS", kToolOptions, 1);
    setenv("_JAVA_OPTIONS", kJavaOptions, 1);
    ASSERT_EQ(graal_create_isolate(nullptr, &gIsolate, &gThread), 0);
    ASSERT_NE(gIsolate, nullptr);
    ASSERT_NE(gThread, nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(graal_detach_thread(gThread), 0);
    EXPECT_NE(graal_detach_thread(gThread), 0) << "second detach of the same thread";
  }
};

const ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

const fs::path kTestdata = JVMENGINE_TESTDATA;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

int runWith(const std::vector<std::string>& options) {
  const long long data = createProcessorDataWithCapacity(gThread, 3);
  for (const std::string& option : options) {
    std::string copy = option;  // the call takes char*
    addProcessorProperty(gThread, data, copy.data());
  }
  return j_run_transform(gThread, data);
}

int runEngine(const fs::path& input, const fs::path& stylesheet, const fs::path& report) {
  return runWith({"-s:" + input.string(), "-xsl:" + stylesheet.string(), "-o:" + report.string()});
}

// The report that report.xsl writes for invoice.xml read under `fileName`
// (the last step of the document's URI, percent-encoded).
std::string expectedReport(const std::string& fileName) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><report source=\"" + fileName +
         "\" items=\"2\"/>";
}

// The names in `dir`, recursively, relative to it.
std::set<std::string> entriesOf(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    names.insert(fs::relative(entry.path(), dir).string());
  return names;
}

class JvmEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "jvmengine-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Copies the invoice fixture to `name` under the temp dir (making its
  // directories) and returns its path.
  fs::path placeInvoice(const std::string& name) {
    const fs::path path = dir_ / name;
    fs::create_directories(path.parent_path());
    fs::copy_file(kTestdata / "invoice.xml", path);
    return path;
  }

  // A run that must work: a fresh invoice through report.xsl.
  void expectWorkingRun() {
    const fs::path input = placeInvoice("after/ok.xml");
    const fs::path report = dir_ / "after/ok_report.xml";
    EXPECT_EQ(runEngine(input, kTestdata / "report.xsl", report), 0);
    EXPECT_EQ(readFile(report), expectedReport("ok.xml"));
  }

  fs::path dir_;
};

struct NamedFile {
  const char* name;        // UTF-8, as the tool passes it
  const char* uriStep;     // how the stylesheet sees it in document-uri(): an
                           // IRI, so only ASCII specials are escaped
};

class JvmEngineNameTest : public JvmEngineTest,
                          public ::testing::WithParamInterface<NamedFile> {};

TEST_P(JvmEngineNameTest, ReadsAndWritesTheNamedFilesInTheCLocale) {
  const fs::path input = placeInvoice(GetParam().name);
  const fs::path report = input.parent_path() / (input.stem().string() + "_report.xml");
  ASSERT_EQ(runEngine(input, kTestdata / "report.xsl", report), 0);
  EXPECT_EQ(readFile(report), expectedReport(GetParam().uriStep));
  EXPECT_EQ(entriesOf(input.parent_path()).size(), 2u) << "only the input and its report";
}

INSTANTIATE_TEST_SUITE_P(
    FileNames, JvmEngineNameTest,
    ::testing::Values(NamedFile{"plain.xml", "plain.xml"},
                      NamedFile{"Rechnung_M\xC3\xBCller.xml", "Rechnung_M\xC3\xBCller.xml"},
                      NamedFile{"g \xF0\x9D\x84\x9E/x \xF0\x9D\x84\x9E.xml",
                                "x%20\xF0\x9D\x84\x9E.xml"},
                      NamedFile{"with space, comma#1%.xml", "with%20space,%20comma%231%25.xml"}));

struct FailingRun {
  const char* what;
  // Options of the run, with {dir} for the temp dir and {data} for the
  // fixtures folder.
  std::vector<std::string> options;
  const char* message;  // part of what standard error must say
};

std::string expand(std::string text, const fs::path& dir) {
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"{dir}", dir.string()},
                                   {"{data}", kTestdata.string()}}) {
    for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
  }
  return text;
}

class JvmEngineFailureTest : public JvmEngineTest,
                             public ::testing::WithParamInterface<FailingRun> {};

TEST_P(JvmEngineFailureTest, FailsWithTheReasonAndKeepsTheEngineUsable) {
  fs::create_directories(dir_ / "in");
  fs::copy_file(kTestdata / "invoice.xml", dir_ / "in/invoice.xml");
  fs::copy_file(kTestdata / "invoice.xml", dir_ / "in/bad\xFF.xml");
  fs::create_directories(dir_ / "in/folder.xml");
  fs::create_directories(dir_ / "in/existing_dir_report.xml");
  const std::set<std::string> before = entriesOf(dir_);

  std::vector<std::string> options;
  for (const std::string& option : GetParam().options) options.push_back(expand(option, dir_));
  ::testing::internal::CaptureStderr();
  const int status = runWith(options);
  const std::string errors = ::testing::internal::GetCapturedStderr();

  EXPECT_NE(status, 0);
  EXPECT_NE(errors.find(GetParam().message), std::string::npos) << errors;
  EXPECT_EQ(entriesOf(dir_), before) << "a failing run creates no file or directory";
  expectWorkingRun();
}

INSTANTIATE_TEST_SUITE_P(
    Runs, JvmEngineFailureTest,
    ::testing::Values(
        FailingRun{"missing stylesheet",
                   {"-s:{dir}/in/invoice.xml", "-xsl:{data}/missing.xsl", "-o:{dir}/in/r.xml"},
                   "missing.xsl does not exist"},
        FailingRun{"stylesheet that does not compile",
                   {"-s:{dir}/in/invoice.xml", "-xsl:{data}/does_not_compile.xsl",
                    "-o:{dir}/in/r.xml"},
                   "XPST0017"},
        FailingRun{"missing input",
                   {"-s:{dir}/in/missing.xml", "-xsl:{data}/report.xsl", "-o:{dir}/in/r.xml"},
                   "missing.xml does not exist"},
        FailingRun{"input not well-formed",
                   {"-s:{data}/not_well_formed.xml", "-xsl:{data}/report.xsl",
                    "-o:{dir}/in/r.xml"},
                   "SXXP0003"},
        FailingRun{"input that is a directory",
                   {"-s:{dir}/in/folder.xml", "-xsl:{data}/report.xsl", "-o:{dir}/in/r.xml"},
                   "is a directory"},
        FailingRun{"input from standard input",
                   {"-s:-", "-xsl:{data}/report.xsl", "-o:{dir}/in/r.xml"},
                   "standard input"},
        FailingRun{"xsl:message terminate",
                   {"-s:{dir}/in/invoice.xml", "-xsl:{data}/terminates.xsl",
                    "-o:{dir}/in/r.xml"},
                   "Invoice rejected by terminates.xsl"},
        FailingRun{"endless recursion",
                   {"-s:{dir}/in/invoice.xml", "-xsl:{data}/endless_recursion.xsl",
                    "-o:{dir}/in/r.xml"},
                   "Too many nested function calls"},
        FailingRun{"report in a directory that does not exist",
                   {"-s:{dir}/in/invoice.xml", "-xsl:{data}/report.xsl",
                    "-o:{dir}/no/such/dir/r.xml"},
                   "does not exist"},
        FailingRun{"report path that is a directory",
                   {"-s:{dir}/in/invoice.xml", "-xsl:{data}/report.xsl",
                    "-o:{dir}/in/existing_dir_report.xml"},
                   "is a directory"},
        FailingRun{"input name not valid UTF-8",
                   {"-s:{dir}/in/bad\xFF.xml", "-xsl:{data}/report.xsl",
                    "-o:{dir}/in/bad\xFF_report.xml"},
                   "not valid UTF-8"},
        FailingRun{"report name not valid UTF-8",
                   {"-s:{dir}/in/invoice.xml", "-xsl:{data}/report.xsl",
                    "-o:{dir}/in/r\xC0\xAE.xml"},
                   "not valid UTF-8"}),
    [](const ::testing::TestParamInfo<FailingRun>& info) {
      std::string name;
      for (char c : std::string(info.param.what)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST_F(JvmEngineTest, UnknownProcessorDataFailsWithoutCrashing) {
  ::testing::internal::CaptureStderr();
  addProcessorProperty(gThread, 987654321, const_cast<char*>("-s:x.xml"));
  EXPECT_NE(j_run_transform(gThread, 987654321), 0);
  EXPECT_NE(j_run_transform(gThread, 0), 0);
  EXPECT_NE(j_run_transform(gThread, -1), 0);
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("unknown processor data 987654321"), std::string::npos) << errors;
  expectWorkingRun();
}

// The capacity of a new option list is a hint: a figure no list needs must
// neither fail nor end the process.
TEST_F(JvmEngineTest, AHugeCapacityIsOnlyAHint) {
  const long long data = createProcessorDataWithCapacity(gThread, INT_MAX);
  ASSERT_NE(data, 0);
  const fs::path input = placeInvoice("huge.xml");
  const fs::path report = dir_ / "huge_report.xml";
  for (std::string option : {"-s:" + input.string(), "-xsl:" + (kTestdata / "report.xsl").string(),
                             "-o:" + report.string()})
    addProcessorProperty(gThread, data, option.data());
  EXPECT_EQ(j_run_transform(gThread, data), 0);
  EXPECT_EQ(readFile(report), expectedReport("huge.xml"));
}

TEST_F(JvmEngineTest, ASecondCreateReturnsTheSameJvm) {
  graal_isolate_t* isolate = nullptr;
  graal_isolatethread_t* thread = nullptr;
  ASSERT_EQ(graal_create_isolate(nullptr, &isolate, &thread), 0);
  EXPECT_EQ(isolate, gIsolate);
  EXPECT_EQ(thread, gThread) << "the calling thread is already attached";
  expectWorkingRun();
}

TEST_F(JvmEngineTest, LeavesTheCallersGlobalLocaleAsItWas) {
  EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C.UTF-8");
}

TEST_F(JvmEngineTest, LeavesTheCallersEnvironmentAsItWas) {
  ASSERT_NE(std::getenv("JAVA_TOOL_OPTIONS"), nullptr);
  ASSERT_NE(std::getenv("_JAVA_OPTIONS"), nullptr);
  EXPECT_STREQ(std::getenv("JAVA_TOOL_OPTIONS"), kToolOptions);
  EXPECT_STREQ(std::getenv("_JAVA_OPTIONS"), kJavaOptions);
}

TEST_F(JvmEngineTest, OtherThreadAttachesRunsAndDetachesOnItsOwn) {
  const fs::path input = placeInvoice("threaded.xml");
  const fs::path report = dir_ / "threaded_report.xml";
  int created = -1, foreignHandle = -1, ownRun = -1, detached = -1, detachedAgain = -1;
  std::thread worker([&] {
    foreignHandle = j_run_transform(gThread, createProcessorDataWithCapacity(gThread, 3));
    graal_isolate_t* isolate = nullptr;
    graal_isolatethread_t* thread = nullptr;
    created = graal_create_isolate(nullptr, &isolate, &thread);
    const long long data = createProcessorDataWithCapacity(thread, 3);
    for (std::string option : {"-s:" + input.string(), "-xsl:" + (kTestdata / "report.xsl").string(),
                               "-o:" + report.string()})
      addProcessorProperty(thread, data, option.data());
    ownRun = j_run_transform(thread, data);
    detached = graal_detach_thread(thread);
    detachedAgain = graal_detach_thread(thread);
  });
  worker.join();
  EXPECT_NE(foreignHandle, 0) << "a thread handle is good only on its own thread";
  EXPECT_EQ(created, 0);
  EXPECT_EQ(ownRun, 0);
  EXPECT_EQ(readFile(report), expectedReport("threaded.xml"));
  EXPECT_EQ(detached, 0);
  EXPECT_NE(detachedAgain, 0);
  EXPECT_NE(graal_detach_thread(nullptr), 0);
  expectWorkingRun();
}

// A real rule set over a real invoice: the report must be byte for byte what
// Saxon's own command line writes.
TEST_F(JvmEngineTest, ReportEqualsTheCommandLinesByteForByte) {
  const fs::path shared = JVMENGINE_SHARED_DIR;
  const fs::path input = shared / "invoices/ubl/ubl-tc434-example1.xml";
  const fs::path rules = shared / "rules/EN16931-UBL-validation.xslt";
  if (!fs::exists(input) || !fs::exists(rules)) GTEST_SKIP() << "no shared material at " << shared;

  const fs::path ours = dir_ / "engine_report.xml";
  const fs::path theirs = dir_ / "command_line_report.xml";
  ASSERT_EQ(runEngine(input, rules, ours), 0);
  // The command line without the JVM option variables this process keeps.
  const std::string command = std::string("env -u JAVA_TOOL_OPTIONS -u _JAVA_OPTIONS '") + JVMENGINE_JAVA + "' -cp '" + JVMENGINE_SAXON_JAR +
                              "' net.sf.saxon.Transform '-s:" + input.string() + "' '-xsl:" +
                              rules.string() + "' '-o:" + theirs.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string expected = readFile(theirs);
  EXPECT_GT(expected.size(), 1000u);
  EXPECT_TRUE(readFile(ours) == expected) << "reports differ: " << ours << " vs " << theirs;
}

// The engine sets no JVM-wide property of its own: what a stylesheet reads
// with system-property() is what it reads on the command line (where JAXP's
// parser factory property is not set).
TEST_F(JvmEngineTest, AStylesheetSeesTheCommandLinesSystemProperties) {
  const fs::path ours = dir_ / "engine.txt";
  ASSERT_EQ(runEngine(kTestdata / "invoice.xml", kTestdata / "parser_factory.xsl", ours), 0);
  const fs::path theirs = dir_ / "command_line.txt";
  const std::string command = std::string("env -u JAVA_TOOL_OPTIONS -u _JAVA_OPTIONS '") +
                              JVMENGINE_JAVA + "' -cp '" + JVMENGINE_SAXON_JAR +
                              "' net.sf.saxon.Transform '-s:" + (kTestdata / "invoice.xml").string() +
                              "' '-xsl:" + (kTestdata / "parser_factory.xsl").string() + "' '-o:" +
                              theirs.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_EQ(readFile(ours), readFile(theirs));
}

// "-l:on" keeps the source's line numbers for that run only: the runs
// before and after it, on the same engine, get -1 from the source-line
// functions, as a run without line numbering does.
TEST_F(JvmEngineTest, SourceLinesOnlyForTheRunThatAsks) {
  const fs::path input = dir_ / "lines.xml";
  std::ofstream(input) << "<a>\n  <b x='1'>t</b>\n</a>\n";
  const fs::path stylesheet = kTestdata / "source_lines.xsl";
  struct Run {
    bool lines;
    const char* expected;
  } runs[] = {{false, "-1 -1 -1 -1"}, {true, "2 12 2 12"}, {false, "-1 -1 -1 -1"}};
  for (const Run& run : runs) {
    const fs::path report = dir_ / "lines.txt";
    std::vector<std::string> options = {"-s:" + input.string(), "-xsl:" + stylesheet.string(),
                                        "-o:" + report.string()};
    if (run.lines) options.push_back("-l:on");
    ASSERT_EQ(runWith(options), 0);
    EXPECT_EQ(readFile(report), run.expected) << (run.lines ? "with -l:on" : "without");
  }
}

}  // namespace
