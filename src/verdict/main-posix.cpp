// Entry point of xslvalidate-verdict on POSIX hosts: arguments arrive as
// bytes and are decoded as UTF-8 into the tool's UTF-16 path text.
#include <signal.h>

#include <string>
#include <vector>

#include "host/arguments.h"
#include "verdict/verdict.h"

int main(int argc, char** argv) {
  // A closed standard output is a failed write (status 4, scratch
  // removed), never the end of the process by SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::u16string> arguments;
  arguments.reserve(argc);
  for (int i = 0; i < argc; ++i)
    arguments.push_back(decodeArgument(argv[i]));
  return runVerdict(arguments);
}
