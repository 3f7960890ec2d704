// The tool with a class-data archive beside its engine library that does
// not fit: missing, empty, not an archive, cut short, damaged inside. Each
// run must succeed as without an archive, with the same report and not a
// word about the archive on the console.
//
// A copy of the engine library goes into a folder of the test's own, with
// the archive under test beside it; the loader takes the library from there
// (LD_LIBRARY_PATH comes before the tool's run path), and the library looks
// for its archive beside itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "process.h"
#include "version.h"

namespace {

namespace fs = std::filesystem;

const std::string kBanner =
    "xslvalidate " XSLVALIDATE_VERSION
    ": validates an XML document against XSLT stylesheets\n";
const std::string kLibrary = JVMENGINE_LIBRARY;
const std::string kArchiveName = "xslvalidate-jvmengine.jsa";

class ArchiveFallback : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/xslvalidate-archive-XXXXXX";
    dir_ = mkdtemp(name);
    fs::create_directory(dir_ + "/lib");
    fs::copy_file(kLibrary, dir_ + "/lib/" + fs::path(kLibrary).filename().string());
    fs::copy_file(XSLVALIDATE_SOURCE_DIR "/examples/invoice.xml", dir_ + "/invoice.xml");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void writeArchive(const std::string& bytes) {
    std::ofstream(dir_ + "/lib/" + kArchiveName, std::ios::binary) << bytes;
  }

  // Runs the tool on the example with its totals rules; returns the result
  // and leaves the report in `*report`.
  ProcessResult validate(std::string* report) {
    const std::string reportPath = dir_ + "/invoice_totals.xml";
    fs::remove(reportPath);
    ProcessResult r = runProcess(
        {XSLVALIDATE_EXE, dir_ + "/invoice.xml", XSLVALIDATE_SOURCE_DIR "/examples/rules/totals.xslt"},
        {"PATH=/usr/bin:/bin", "LANG=C.UTF-8", "LD_LIBRARY_PATH=" + dir_ + "/lib",
         "XSLVALIDATE_SERVER=off"},  // the archive of the library in-process
        dir_);
    *report = readFile(reportPath);
    return r;
  }

  std::string dir_;
};

TEST_F(ArchiveFallback, AnArchiveThatDoesNotFitIsDroppedSilently) {
  const std::string archive = readFile(fs::path(kLibrary).parent_path() / kArchiveName);
  ASSERT_GT(archive.size(), 1u << 20) << "the build made no archive beside " << kLibrary;

  std::string expected;
  ProcessResult without = validate(&expected);
  ASSERT_EQ(without.exitCode, 0) << without.err;
  ASSERT_NE(expected.find("TOT-03"), std::string::npos) << expected;

  std::string damaged = archive;
  for (size_t at = 8192; at + 16 < damaged.size(); at += 65536) damaged.replace(at, 16, 16, '\xA5');
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"the built archive itself", archive},
      {"empty", ""},
      {"not an archive", std::string(8192, 'x')},
      {"cut after its header", archive.substr(0, 4096)},
      {"cut in the middle", archive.substr(0, archive.size() / 2)},
      {"one page short", archive.substr(0, archive.size() - 4096)},
      {"damaged inside", damaged},
  };
  for (const Case& c : cases) {
    writeArchive(c.bytes);
    std::string report;
    ProcessResult r = validate(&report);
    EXPECT_EQ(r.exitCode, 0) << c.what << ": " << r.err;
    EXPECT_EQ(r.signal, 0) << c.what;
    EXPECT_EQ(r.out, kBanner) << c.what;
    EXPECT_EQ(r.err, "") << c.what;
    EXPECT_EQ(report, expected) << c.what;
    EXPECT_TRUE(fs::exists(dir_ + "/lib/" + kArchiveName)) << c.what;
  }
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().rfind("hs_err", 0), std::string::npos)
        << "the JVM crashed: " << entry.path();
  }
}

}  // namespace
