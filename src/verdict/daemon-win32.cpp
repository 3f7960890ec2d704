// The validation service is not offered on Windows.
#include <cstdio>

#include "verdict/daemon.h"
#include "verdict/verdict.h"

bool attachToEngineServer(EngineEnvironment*) {
  return false;
}

int runDaemon(const CheckPlan&, const DaemonSettings&, const PlanLoader&) {
  std::fputs("xslvalidate-verdict: --daemon is not offered on Windows\n", stderr);
  return kUsageError;
}
