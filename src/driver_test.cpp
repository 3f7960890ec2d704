#include "driver.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/recording_engine_test_support.h"
#include "version.h"

namespace {

namespace fs = std::filesystem;

const char kBanner[] =
    "xslvalidate " XSLVALIDATE_VERSION
    ": validates an XML document against XSLT stylesheets\n";
const char kInvalidArguments[] =
    "Error: invalid arguments. Expected xml-file schema1-file schema2-file ...\n";

std::u16string u16(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome drive(const std::vector<std::string>& arguments) {
  std::vector<std::u16string> text;
  for (const std::string& a : arguments)
    text.push_back(u16(a));
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  int status = runDriver(text);
  std::fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  return {status, out, err};
}

class DriverTest : public testing::Test {
 protected:
  void SetUp() override {
    resetRecordingEngine();
    dir_ = fs::temp_directory_path() /
           ("xslvalidate-driver-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    input_ = (dir_ / "inv.xml").string();
    std::ofstream(input_) << "<Invoice/>";
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  std::string input_;
};

// The stylesheet named in a run's "-xsl:" option.
std::string stylesheetOf(const RecordedRun& run) {
  return run.options.size() > 1 ? run.options[1].substr(5) : "";
}

TEST_F(DriverTest, ShortCommandLineIsRejectedBeforeTheEngineStarts) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"xslvalidate"}, {"xslvalidate", "inv.xml"}};
  for (const auto& arguments : cases) {
    resetRecordingEngine();
    Outcome o = drive(arguments);
    EXPECT_EQ(1, o.status);
    EXPECT_EQ(std::string(kBanner) + kInvalidArguments, o.out);
    EXPECT_TRUE(recordingEngine().calls.empty());
  }
}

TEST_F(DriverTest, MissingInputIsRejectedBeforeTheEngineStarts) {
  for (const std::string& input :
       {std::string(""), (dir_ / "missing.xml").string()}) {
    resetRecordingEngine();
    Outcome o = drive({"xslvalidate", input, "s.xsl"});
    EXPECT_EQ(1, o.status) << input;
    EXPECT_EQ(std::string(kBanner) + "Error: input file does not exist\n",
              o.out);
    EXPECT_TRUE(recordingEngine().calls.empty());
  }
}

TEST_F(DriverTest, RunsEveryStylesheetInOrderOnOneIsolateThenDetaches) {
  Outcome o = drive({"xslvalidate", input_, "a.xsl", "rules/b.xsl"});
  EXPECT_EQ(0, o.status);
  EXPECT_EQ(kBanner, o.out);
  const RecordingEngine& e = recordingEngine();
  EXPECT_EQ((std::vector<std::string>{"create", "data", "add", "add", "add",
                                      "run", "data", "add", "add", "add",
                                      "run", "detach"}),
            e.calls);
  ASSERT_EQ(2u, e.runs.size());
  for (const RecordedRun& run : e.runs) {
    EXPECT_EQ(3, run.capacity);
    EXPECT_EQ(3u, run.options.size());
  }
  EXPECT_EQ("-xsl:a.xsl", e.runs[0].options[1]);
  EXPECT_EQ("-xsl:rules/b.xsl", e.runs[1].options[1]);
  EXPECT_EQ(recordingEngineThread(), e.detachedThread);
}

TEST_F(DriverTest, StopsAtTheFirstFailingRunAndExitsWithItsStatus) {
  // Every status a run may return reaches the caller unchanged, including
  // the values the driver uses itself.
  for (int failing : {1, 2, 7, 300, -7}) {
    RecordingEngine& e = resetRecordingEngine();
    e.runStatus = [failing](const RecordedRun& run) {
      return stylesheetOf(run) == "second.xsl" ? failing : 0;
    };
    Outcome o = drive({"xslvalidate", input_, "first.xsl", "second.xsl",
                       "third.xsl"});
    EXPECT_EQ(failing, o.status);
    ASSERT_EQ(2u, e.runs.size()) << "the third stylesheet must not run";
    EXPECT_EQ("-xsl:second.xsl", e.runs[1].options[1]);
    EXPECT_EQ("detach", e.calls.back());
  }
}

TEST_F(DriverTest, DetachFailureExitsWithTwoWhateverTheRunsReturned) {
  for (int runStatus : {0, 9}) {
    RecordingEngine& e = resetRecordingEngine();
    e.detachStatus = 1;
    e.runStatus = [runStatus](const RecordedRun&) { return runStatus; };
    Outcome o = drive({"xslvalidate", input_, "a.xsl", "b.xsl"});
    EXPECT_EQ(2, o.status);
    EXPECT_EQ(std::string(kBanner) + "Error: graal_detach_thread error\n",
              o.out);
  }
}

TEST_F(DriverTest, IsolateFailureRunsNothingAndDoesNotDetach) {
  RecordingEngine& e = resetRecordingEngine();
  e.createStatus = -1;
  Outcome o = drive({"xslvalidate", input_, "a.xsl"});
  EXPECT_EQ(1, o.status);
  EXPECT_EQ(kBanner, o.out);
  EXPECT_EQ("graal_create_isolate error\n", o.err);
  EXPECT_EQ(std::vector<std::string>{"create"}, e.calls);
}

TEST_F(DriverTest, DirectoryInputAndRepeatedStylesheetAreRun) {
  Outcome o = drive({"xslvalidate", dir_.string(), "s.xsl", "s.xsl"});
  EXPECT_EQ(0, o.status);
  const RecordingEngine& e = recordingEngine();
  ASSERT_EQ(2u, e.runs.size());
  EXPECT_EQ("-s:" + dir_.string(), e.runs[0].options[0]);
  // Both runs name the same report; nothing keeps the first one apart.
  EXPECT_EQ(e.runs[0].options[2], e.runs[1].options[2]);
}

}  // namespace
