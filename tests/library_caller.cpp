// A program that calls the engine library as a caller other than the tool
// may: its arguments are the options of runs, each run's ended by "--" (or
// the end), given to the engine as they are. Prints each run's status on a
// line of its own; exits with the last status, 1 when no session opens.
// A first argument "--server-only" keeps its runs on an engine server, as
// the validation service does (xslvalidate_server_only); 1 when it cannot.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/engine_service.h"

int main(int argc, char** argv) {
  graal_isolate_t* isolate = nullptr;
  graal_isolatethread_t* thread = nullptr;
  if (graal_create_isolate(nullptr, &isolate, &thread) != 0) return 1;
  const bool serverOnly = argc > 1 && std::string(argv[1]) == "--server-only";
  if (serverOnly && xslvalidate_server_only(thread) != 0) return 1;
  int status = 0;
  std::vector<char*> run;
  for (int i = serverOnly ? 2 : 1; i <= argc; ++i) {
    if (i < argc && std::string(argv[i]) != "--") {
      run.push_back(argv[i]);
      continue;
    }
    if (run.empty()) continue;
    const long long data = createProcessorDataWithCapacity(thread, static_cast<int>(run.size()));
    for (char* option : run) addProcessorProperty(thread, data, option);
    status = j_run_transform(thread, data);
    std::printf("%d\n", status);
    std::fflush(stdout);
    run.clear();
  }
  graal_detach_thread(thread);
  return status;
}
