// The engine server setting of a run of the end-to-end suite, which runs
// twice: with the engine server (XSLVALIDATE_TEST_SERVER=on: every tool run
// reaches the one server of the suite's own runtime directory, a short
// folder under /tmp that the suite's fixture made and named in
// E2E_SERVER_RUNTIME_FILE) and with it switched off.
#ifndef XSLVALIDATE_TESTS_SERVER_SETTING_H_
#define XSLVALIDATE_TESTS_SERVER_SETTING_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "process.h"

// Whether this run of the suite is the one with the engine server.
inline bool suiteOnServer() {
  const char* mode = std::getenv("XSLVALIDATE_TEST_SERVER");
  return mode && std::string(mode) == "on";
}

// The suite's runtime folder, as its fixture named it.
inline std::string suiteRuntimeFolder() {
  std::ifstream named(E2E_SERVER_RUNTIME_FILE);
  std::string folder;
  std::getline(named, folder);
  return folder;
}

// `environment` with this run's server setting added.
inline std::vector<std::string> withServerSetting(std::vector<std::string> environment) {
  if (suiteOnServer()) {
    environment.push_back("XSLVALIDATE_SERVER=on");
    environment.push_back("XDG_RUNTIME_DIR=" + suiteRuntimeFolder());
  } else {
    environment.push_back("XSLVALIDATE_SERVER=off");
  }
  return environment;
}

// Runs `argv` in `folder` with `environment` and this run's server
// setting. With the server, the run is traced (XSLVALIDATE_DEBUG) and
// every engine run it made must have been on the engine server; the trace
// is then taken out of standard error, unless the caller asked for it.
inline ProcessResult runWithServerSetting(const std::vector<std::string>& argv,
                                          const std::vector<std::string>& environment,
                                          const std::string& folder = "") {
  if (!suiteOnServer()) return runProcess(argv, withServerSetting(environment), folder);
  bool traced = false;
  for (const std::string& variable : environment) traced |= variable == "XSLVALIDATE_DEBUG=1";
  std::vector<std::string> env = withServerSetting(environment);
  env.push_back("XSLVALIDATE_DEBUG=1");
  ProcessResult r = runProcess(argv, env, folder);
  const std::string debug = "xslvalidate debug: ";
  const std::string engineRun = debug + "engine run ";
  std::string kept;
  std::size_t start = 0;
  while (start < r.err.size()) {
    std::size_t end = r.err.find('\n', start);
    end = end == std::string::npos ? r.err.size() : end + 1;
    const std::string line = r.err.substr(start, end - start);
    const bool served = line.rfind(engineRun + "served by the engine server", 0) == 0;
    if (line.rfind(engineRun, 0) == 0 && !served)
      ADD_FAILURE() << "a run of the server's suite was not served by the server: " << line;
    if (traced || line.rfind(debug, 0) != 0) kept += line;
    start = end;
  }
  r.err = kept;
  return r;
}

#endif  // XSLVALIDATE_TESTS_SERVER_SETTING_H_
