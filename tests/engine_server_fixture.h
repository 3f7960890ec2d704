// The engine server tests' shared pieces: example files, a stylesheet that
// runs for minutes, waiting helpers, and a fixture with a runtime directory
// (so a server) of each test's own, whose servers it stops at the end.
#ifndef XSLVALIDATE_TESTS_ENGINE_SERVER_FIXTURE_H_
#define XSLVALIDATE_TESTS_ENGINE_SERVER_FIXTURE_H_

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "process.h"

namespace engine_server_test {

namespace fs = std::filesystem;

const std::string kExamples = XSLVALIDATE_SOURCE_DIR "/examples";
const std::string kTotals = kExamples + "/rules/totals.xslt";
const std::string kParties = kExamples + "/rules/parties.xslt";

// A stylesheet that writes a first part of its report, large enough to
// reach the report's temporary file, then runs for minutes: its loop count
// comes from the document, so it cannot be done at compile time.
const char kSlow[] =
    "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
    " xmlns:xs='http://www.w3.org/2001/XMLSchema' xmlns:f='urn:slow'>"
    "<xsl:function name='f:spin' as='xs:integer'><xsl:param name='n' as='xs:integer'/>"
    "<xsl:param name='sum' as='xs:integer'/><xsl:sequence"
    " select='if ($n le 0) then $sum else f:spin($n - 1, ($sum + $n) mod 7)'/></xsl:function>"
    "<xsl:template match='/'><r><xsl:for-each select='1 to 100000'><line n='{.}'/></xsl:for-each>"
    "<xsl:value-of select='f:spin(count(//*) * 1000000000, 0)'/>"
    "</r></xsl:template></xsl:stylesheet>";

inline void write(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// True while process `pid` runs (a zombie counts as ended).
inline bool alive(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const std::size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

// Waits up to `seconds` for `done`; its last answer.
inline bool waitFor(const std::function<bool()>& done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

class EngineServer : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/xslvalidate-server-XXXXXX";
    dir_ = mkdtemp(name);
    runtime_ = dir_ + "/runtime";
    work_ = dir_ + "/work";
    fs::create_directories(work_);
    fs::create_directory(runtime_);
    fs::copy_file(kExamples + "/invoice.xml", work_ + "/invoice.xml");
  }

  void TearDown() override {
    stopServers();
    fs::remove_all(dir_);
  }

  std::string serverDir() const { return runtime_ + "/xslvalidate"; }

  std::vector<std::string> environment(const std::string& server = "on") const {
    return {"PATH=/usr/bin:/bin", "LANG=C.UTF-8", "XDG_RUNTIME_DIR=" + runtime_,
            "XSLVALIDATE_SERVER=" + server};
  }

  ProcessResult tool(const std::vector<std::string>& arguments,
                     const std::vector<std::string>& env, const std::string& in = "") {
    std::vector<std::string> argv = {XSLVALIDATE_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runProcess(argv, env, in.empty() ? work_ : in);
  }

  // Files in the server directory whose names end in `suffix`.
  std::vector<std::string> serverFiles(const std::string& suffix) const {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(serverDir(), error)) {
      const std::string name = entry.path().string();
      if (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        found.push_back(name);
      }
    }
    return found;
  }

  std::vector<pid_t> serverPids() const {
    std::vector<pid_t> pids;
    for (const std::string& file : serverFiles(".pid")) {
      const pid_t pid = std::atoi(readFile(file).c_str());
      if (pid > 0) pids.push_back(pid);
    }
    return pids;
  }

  void stopServers() {
    for (pid_t pid : serverPids()) {
      kill(pid, SIGTERM);
      EXPECT_TRUE(waitFor([&] { return !alive(pid); }, 10)) << "server " << pid;
    }
  }

  std::vector<std::string> temporaryFiles() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(work_)) {
      const std::string name = entry.path().filename().string();
      if (name[0] == '.' && name.size() > 4 && name.substr(name.size() - 4) == ".tmp") {
        found.push_back(name);
      }
    }
    return found;
  }

  std::string dir_, runtime_, work_;
};

}  // namespace engine_server_test

#endif  // XSLVALIDATE_TESTS_ENGINE_SERVER_FIXTURE_H_
