// A program that calls the engine library as a caller other than the tool
// may: its arguments are the options of runs, each run's ended by "--" (or
// the end), given to the engine as they are. Prints each run's status on a
// line of its own; exits with the last status, 1 when no session opens.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/engine_api.h"

int main(int argc, char** argv) {
  graal_isolate_t* isolate = nullptr;
  graal_isolatethread_t* thread = nullptr;
  if (graal_create_isolate(nullptr, &isolate, &thread) != 0) return 1;
  int status = 0;
  std::vector<char*> run;
  for (int i = 1; i <= argc; ++i) {
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
