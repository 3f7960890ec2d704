// Entry point on POSIX hosts: arguments arrive as bytes and are decoded as
// UTF-8 into the tool's UTF-16 path text.
#include <signal.h>

#include <string>
#include <vector>

#include "driver.h"
#include "host/arguments.h"
#include "host/exit_status.h"

int main(int argc, char** argv) {
  // A closed standard output is a failed write, said on standard error,
  // never the end of the process: the reports are the result.
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::u16string> arguments;
  arguments.reserve(argc);
  for (int i = 0; i < argc; ++i)
    arguments.push_back(decodeArgument(argv[i]));
  return hostExitCode(runDriver(arguments));
}
