// Running a program as a child process, for end-to-end tests.
#ifndef XSLVALIDATE_TESTS_PROCESS_H_
#define XSLVALIDATE_TESTS_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

struct ProcessResult {
  int exitCode = -1;   // the child's exit code; -1 when it did not exit
  int signal = 0;      // the signal that ended it, if any
  std::string out;     // everything written to standard output
  std::string err;     // everything written to standard error
};

// Runs `arguments[0]` (a path, not searched on PATH) with `arguments` as its
// argument bytes, in directory `workingDirectory` (unchanged when empty),
// with exactly `environment` as its environment, and waits for it. A child
// that cannot be started gives exitCode -1 and the reason in `err`.
ProcessResult runProcess(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::string& workingDirectory = "");

// Starts `arguments[0]` like runProcess, its standard streams on /dev/null,
// and returns at once with its process id (-1 when it cannot be started);
// the caller waits for it.
pid_t startProcess(const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment,
                   const std::string& workingDirectory = "");

// Reads a whole file as bytes; empty when it cannot be read.
std::string readFile(const std::string& path);

#endif  // XSLVALIDATE_TESTS_PROCESS_H_
