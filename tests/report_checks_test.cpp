// What the built tool checks about a report before the run, and how it
// treats reports it cannot replace by rename: as the engine's command line
// does, or with a clear refusal before any work is done. Some cases need a
// user other than root (root may write anything); they run the tool as
// "nobody" through setpriv, or skip when that is not possible.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "process.h"
#include "server_setting.h"

namespace {

namespace fs = std::filesystem;

const std::string kExamples = XSLVALIDATE_SOURCE_DIR "/examples";
const std::vector<std::string> kPlainEnvironment = {"PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
constexpr uid_t kNobody = 65534;

// A stylesheet that says on standard error that the run started, then
// writes the totals example's kind of report.
const char kTellsItRan[] =
    "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='/'><xsl:message>THE RUN STARTED</xsl:message>"
    "<report lines='{count(//*)}'/></xsl:template></xsl:stylesheet>";

class ReportChecks : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/xslvalidate-report-XXXXXX";
    dir_ = mkdtemp(name);
    chmod(dir_.c_str(), 0755);
    fs::copy_file(kExamples + "/invoice.xml", dir_ + "/invoice.xml");
    std::ofstream(dir_ + "/rules.xslt") << kTellsItRan;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the tool in the test's folder, as root or as nobody.
  ProcessResult tool(const std::vector<std::string>& arguments, bool asNobody = false) {
    std::vector<std::string> argv;
    if (asNobody)
      argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    argv.push_back(XSLVALIDATE_EXE);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    // Another user has no server in the suite's folder: its runs are its own.
    return asNobody ? runProcess(argv, withServerSetting(kPlainEnvironment), dir_)
                    : runWithServerSetting(argv, kPlainEnvironment, dir_);
  }

  // Skips unless this test can run the tool as another user.
  bool canRunAsNobody() {
    return geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0 &&
           access(XSLVALIDATE_EXE, X_OK) == 0;
  }

  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir_;
};

// A report the user made read-only is refused, as the command line refuses
// it (SXRD0004), but before the run instead of once it writes.
TEST_F(ReportChecks, AReadOnlyReportIsRefusedBeforeTheRun) {
  if (!canRunAsNobody()) GTEST_SKIP() << "needs root, setpriv, and a tool nobody can run";
  chmod(dir_.c_str(), 0777);
  const std::string report = dir_ + "/invoice_rules.xml";
  std::ofstream(report) << "kept\n";
  ASSERT_EQ(0, chown(report.c_str(), kNobody, kNobody));
  chmod(report.c_str(), 0444);
  const std::vector<std::string> before = entries();

  ProcessResult r = tool({"invoice.xml", "rules.xslt"}, true);

  EXPECT_EQ(2, r.exitCode) << r.err;
  EXPECT_NE(std::string::npos,
            r.err.find("Cannot write to URI file:" + report + ": the report exists and is read-only"))
      << r.err;
  EXPECT_EQ(std::string::npos, r.err.find("THE RUN STARTED")) << r.err;
  EXPECT_EQ("kept\n", readFile(report));
  EXPECT_EQ(before, entries());
}

// In a shared directory with the sticky bit a rename cannot replace
// another user's file, but writing to it can, and the command line
// overwrites it: so does the tool, keeping the file's owner and mode.
TEST_F(ReportChecks, AnotherUsersWritableReportInAStickyDirectoryIsOverwrittenInPlace) {
  if (!canRunAsNobody()) GTEST_SKIP() << "needs root, setpriv, and a tool nobody can run";
  chmod(dir_.c_str(), 01777);
  const std::string report = dir_ + "/invoice_rules.xml";
  std::ofstream(report) << "an earlier, longer report of root's\n";
  chmod(report.c_str(), 0666);

  ProcessResult r = tool({"invoice.xml", "rules.xslt"}, true);

  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\"?><report lines=\"41\"/>", readFile(report));
  struct stat info {};
  ASSERT_EQ(0, stat(report.c_str(), &info));
  EXPECT_EQ(0u, info.st_uid);
  EXPECT_EQ(0666u, info.st_mode & 07777);
  EXPECT_EQ((std::vector<std::string>{"invoice.xml", "invoice_rules.xml", "rules.xslt"}),
            entries());
}

// Checked before the run, with one line and status 2 each.
TEST_F(ReportChecks, NamesThatCannotWorkAreRefusedBeforeTheRun) {
  const std::string longStem(250, 's');
  std::ofstream(dir_ + "/" + longStem + ".xslt") << kTellsItRan;
  struct Case {
    std::vector<std::string> arguments;
    std::string error;
  };
  const Case cases[] = {
      {{"invoice.xml", ""}, "The stylesheet name is empty\n"},
      {{"invoice.xml", longStem + ".xslt"},
       "Cannot write report invoice_" + longStem +
           ".xml: its name is longer than 255 bytes, the longest file name allowed\n"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> before = entries();
    ProcessResult r = tool(c.arguments);
    EXPECT_EQ(2, r.exitCode) << r.err;
    EXPECT_EQ(c.error, r.err);
    EXPECT_EQ(before, entries());
  }
}

// A symbolic link to a directory at the report path, like a directory
// there, fails the run before it starts with the command line's message;
// the link and the directory stay as they were.
TEST_F(ReportChecks, ALinkToADirectoryAtTheReportPathFailsAsOnTheCommandLine) {
  fs::create_directory(dir_ + "/folder");
  fs::create_directory_symlink("folder", dir_ + "/invoice_rules.xml");
  ProcessResult r = tool({"invoice.xml", "rules.xslt"});
  EXPECT_EQ(2, r.exitCode);
  EXPECT_EQ("Output is a directory, but input is not\n", r.err);
  EXPECT_TRUE(fs::is_symlink(dir_ + "/invoice_rules.xml"));
  EXPECT_TRUE(fs::is_empty(dir_ + "/folder"));
}

}  // namespace
