// Entry point on Windows: arguments arrive as UTF-16 text through the
// wide-character entry point, exactly as the platform parsed them.
#include <string>
#include <vector>

#include "driver.h"
#include "host/exit_status.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> arguments;
  arguments.reserve(argc);
  for (int i = 0; i < argc; ++i)
    arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  return hostExitCode(runDriver(arguments));
}
