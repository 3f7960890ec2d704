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

// A child started by startProcess and not yet waited for.
struct RunningProcess {
  pid_t pid = -1;          // -1 when it could not be started
  std::string outPath;     // where its standard output goes
  std::string errPath;     // where its standard error goes
  std::string startError;  // why it could not be started
};

// Starts a child as runProcess does, without waiting for it. SIGINT,
// SIGTERM, SIGHUP and SIGPIPE start with their default action and every
// signal unblocked, except the signals in `ignored`, which start ignored
// (as under nohup). With `closedOutput`, standard output is a pipe whose
// reading end is closed before the child starts: every write to it fails
// (EPIPE, or SIGPIPE where that is not ignored).
RunningProcess startProcess(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& environment,
                            const std::string& workingDirectory = "",
                            const std::vector<int>& ignored = {},
                            bool closedOutput = false);

// Waits for a child from startProcess and collects what it wrote.
ProcessResult waitProcess(const RunningProcess& child);

// Reads a whole file as bytes; empty when it cannot be read.
std::string readFile(const std::string& path);

#endif  // XSLVALIDATE_TESTS_PROCESS_H_
