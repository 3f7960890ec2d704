// Runs of the built tool ended from outside: a catchable signal removes the
// run's temporary report file and ends the tool as that signal would; a
// file left by SIGKILL is removed by the next run writing that report, and
// no file of a live process is ever touched.
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
#include "server_setting.h"

namespace {

namespace fs = std::filesystem;

const std::string kExamples = XSLVALIDATE_SOURCE_DIR "/examples";
const std::vector<std::string> kPlainEnvironment = {"PATH=/usr/bin:/bin", "LANG=C.UTF-8"};

// Writes a first part of its report, large enough to reach the file, then
// computes for minutes: the run is under way with its temporary file open.
// The bound depends on the document, so it is not folded when compiling.
const char kSlowStylesheet[] =
    "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='/'><report>"
    "<xsl:for-each select='1 to 100000'><line n='{.}'/></xsl:for-each>"
    "<xsl:value-of select='sum(for $i in 1 to 2000000000 + count(/*) return $i mod 7)'/>"
    "</report></xsl:template></xsl:stylesheet>";

class Interrupted : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/xslvalidate-interrupt-XXXXXX";
    dir_ = mkdtemp(name);
    fs::copy_file(kExamples + "/invoice.xml", dir_ + "/invoice.xml");
    std::ofstream(dir_ + "/slow.xslt") << kSlowStylesheet;
    std::ofstream(report()) << "earlier report\n";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string report() const { return dir_ + "/invoice_slow.xml"; }

  // Starts the slow run with this suite's engine server setting, or
  // in-process when `inProcess`.
  RunningProcess startSlowRun(const std::vector<int>& ignored = {}, bool inProcess = false) {
    std::vector<std::string> environment = kPlainEnvironment;
    if (inProcess) environment.push_back("XSLVALIDATE_SERVER=off");
    return startProcess({XSLVALIDATE_EXE, "invoice.xml", "slow.xslt"},
                        inProcess ? environment : withServerSetting(environment), dir_, ignored);
  }

  // Names in the test's folder that look like temporary report files.
  std::vector<std::string> temporaryFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      std::string name = entry.path().filename().string();
      if (name.front() == '.' && name.size() > 4 && name.ends_with(".tmp")) names.push_back(name);
    }
    return names;
  }

  // Waits until the run has created its temporary file; false after a
  // minute without one.
  bool awaitTemporaryFile() const {
    for (int i = 0; i < 600; ++i) {
      if (!temporaryFiles().empty()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  std::string dir_;
};

TEST_F(Interrupted, ACatchableSignalRemovesTheTemporaryFileAndEndsTheToolWithIt) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    RunningProcess run = startSlowRun();
    ASSERT_GT(run.pid, 0) << run.startError;
    const bool started = awaitTemporaryFile();
    kill(run.pid, signal);
    ProcessResult r = waitProcess(run);
    ASSERT_TRUE(started) << "no temporary file appeared: " << r.err;
    EXPECT_EQ(signal, r.signal) << "exit code " << r.exitCode << ": " << r.err;
    EXPECT_EQ("", r.err) << "the stopped run says nothing";
    EXPECT_EQ(std::vector<std::string>{}, temporaryFiles()) << "once the tool has ended";
    EXPECT_EQ("earlier report\n", readFile(report()));
  }
}

// Under nohup SIGHUP stays ignored: the run goes on, its file with it.
TEST_F(Interrupted, AnIgnoredHangupIsLeftIgnored) {
  RunningProcess run = startSlowRun({SIGHUP});
  ASSERT_GT(run.pid, 0) << run.startError;
  const bool started = awaitTemporaryFile();
  kill(run.pid, SIGHUP);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  int status = 0;
  const bool stillRunning = waitpid(run.pid, &status, WNOHANG) == 0;
  const std::vector<std::string> during = temporaryFiles();
  kill(run.pid, SIGTERM);
  ProcessResult r = waitProcess(run);
  ASSERT_TRUE(started) << r.err;
  EXPECT_TRUE(stillRunning);
  EXPECT_EQ(1u, during.size());
  EXPECT_EQ(SIGTERM, r.signal) << r.err;
  EXPECT_EQ(std::vector<std::string>{}, temporaryFiles());
}

// SIGKILL cannot be caught; the file it leaves names a process that is
// gone, and the next run writing that report removes it. A file of the same
// shape naming a live process stays, and so do names of another shape. The
// killed run is in-process: an engine server would remove its file itself.
TEST_F(Interrupted, TheNextRunRemovesWhatAKillLeftButNoLiveRunsFile) {
  RunningProcess run = startSlowRun({}, true);
  ASSERT_GT(run.pid, 0) << run.startError;
  const bool started = awaitTemporaryFile();
  kill(run.pid, SIGKILL);
  ProcessResult killed = waitProcess(run);
  ASSERT_TRUE(started) << killed.err;
  ASSERT_EQ(SIGKILL, killed.signal);
  const std::string dead = std::to_string(run.pid);
  const std::vector<std::string> stale = temporaryFiles();
  ASSERT_EQ(1u, stale.size());
  EXPECT_TRUE(stale[0].starts_with(".invoice_slow.xml." + dead + ".")) << stale[0];

  const std::vector<std::string> kept = {
      ".invoice_slow.xml." + std::to_string(getpid()) + ".live1.tmp",  // a live process's
      ".invoice_slow.xml." + dead + ".abc.tmp.keep",  // not the shape
      ".invoice_slow.xml." + dead + ".ABC.tmp",       // not the shape
      ".invoice_other.xml." + dead + ".abc.tmp",      // another report's
  };
  for (const std::string& name : kept) std::ofstream(dir_ + "/" + name) << "keep\n";

  // A quick stylesheet of the same name writes the same report.
  fs::create_directories(dir_ + "/quick");
  fs::copy_file(kExamples + "/rules/totals.xslt", dir_ + "/quick/slow.xslt");
  ProcessResult next = runProcess({XSLVALIDATE_EXE, "invoice.xml", "quick/slow.xslt"},
                                  withServerSetting(kPlainEnvironment), dir_);
  EXPECT_EQ(0, next.exitCode) << next.err;
  EXPECT_FALSE(fs::exists(dir_ + "/" + stale[0]));
  for (const std::string& name : kept) EXPECT_EQ("keep\n", readFile(dir_ + "/" + name)) << name;
  EXPECT_NE(std::string::npos, readFile(report()).find("TOT-03"));
}

}  // namespace
