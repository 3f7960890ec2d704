// The validation service is not offered on Windows.
#include <cstdio>

#include "verdict/daemon.h"
#include "verdict/verdict.h"

bool attachToEngineServer(EngineEnvironment*) {
  return false;
}

std::string readTokenFile(const std::u16string&, std::string* token) {
  token->clear();
  return "the service is not offered on Windows";
}

int runDaemon(const LoadedPlan&, const DaemonSettings&, const PlanLoader&) {
  std::fputs("xslvalidate-verdict: --daemon is not offered on Windows\n", stderr);
  return kUsageError;
}
