#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

// A new empty file to capture one output stream of the child.
std::string newCapture() {
  char name[] = "/tmp/xslvalidate-capture-XXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0)
    close(fd);
  return name;
}

std::vector<char*> pointers(const std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (const std::string& s : strings)
    result.push_back(const_cast<char*>(s.c_str()));
  result.push_back(nullptr);
  return result;
}

}  // namespace

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

RunningProcess startProcess(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& environment,
                            const std::string& workingDirectory,
                            const std::vector<int>& ignored, bool closedOutput) {
  RunningProcess child;
  child.outPath = newCapture();
  child.errPath = newCapture();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  int pipeEnds[2] = {-1, -1};
  if (closedOutput && pipe2(pipeEnds, O_CLOEXEC) == 0) {
    close(pipeEnds[0]);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, child.outPath.c_str(),
                                     O_WRONLY | O_TRUNC, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, child.errPath.c_str(),
                                   O_WRONLY | O_TRUNC, 0);
  if (!workingDirectory.empty())
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());

  // Ignored dispositions survive exec, so the ones asked for are set in
  // this process around the spawn; the rest start from the default.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
  struct sigaction ignore {}, saved[3];
  ignore.sa_handler = SIG_IGN;
  for (size_t i = 0; i < ignored.size() && i < 3; ++i) {
    sigdelset(&defaults, ignored[i]);
    sigaction(ignored[i], &ignore, &saved[i]);
  }
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv = pointers(arguments);
  std::vector<char*> envp = pointers(environment);
  int error = posix_spawn(&child.pid, argv[0], &actions, &attributes, argv.data(),
                          envp.data());
  for (size_t i = 0; i < ignored.size() && i < 3; ++i) sigaction(ignored[i], &saved[i], nullptr);
  if (pipeEnds[1] >= 0)
    close(pipeEnds[1]);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    child.pid = -1;
    child.startError = std::string("cannot start: ") + strerror(error);
  }
  return child;
}

ProcessResult waitProcess(const RunningProcess& child) {
  ProcessResult result;
  if (child.pid > 0) {
    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status))
      result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
      result.signal = WTERMSIG(status);
    result.out = readFile(child.outPath);
    result.err = readFile(child.errPath);
  } else {
    result.err = child.startError;
  }
  unlink(child.outPath.c_str());
  unlink(child.errPath.c_str());
  return result;
}

ProcessResult runProcess(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::string& workingDirectory) {
  return waitProcess(startProcess(arguments, environment, workingDirectory));
}
