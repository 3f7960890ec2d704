// The engine server setting of a run of the end-to-end suite, which runs
// twice: with the engine server (XSLVALIDATE_TEST_SERVER=on: every tool run
// reaches the one server of the suite's own runtime directory) and with it
// switched off.
#ifndef XSLVALIDATE_TESTS_SERVER_SETTING_H_
#define XSLVALIDATE_TESTS_SERVER_SETTING_H_

#include <cstdlib>
#include <string>
#include <vector>

// `environment` with this run's server setting added.
inline std::vector<std::string> withServerSetting(std::vector<std::string> environment) {
  const char* mode = std::getenv("XSLVALIDATE_TEST_SERVER");
  if (mode && std::string(mode) == "on") {
    environment.push_back("XSLVALIDATE_SERVER=on");
    environment.push_back("XDG_RUNTIME_DIR=" E2E_SERVER_RUNTIME_DIR);
  } else {
    environment.push_back("XSLVALIDATE_SERVER=off");
  }
  return environment;
}

#endif  // XSLVALIDATE_TESTS_SERVER_SETTING_H_
