#include "process.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

// A temporary file that captures one output stream of the child.
struct Capture {
  std::string path;
  Capture() {
    char name[] = "/tmp/xslvalidate-capture-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0)
      close(fd);
    path = name;
  }
  ~Capture() { unlink(path.c_str()); }
};

std::vector<char*> pointers(const std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (const std::string& s : strings)
    result.push_back(const_cast<char*>(s.c_str()));
  result.push_back(nullptr);
  return result;
}

// Starts `arguments[0]` with `actions` for its standard streams, in
// `workingDirectory` (unchanged when empty); 0 or posix_spawn's error.
int spawn(const std::vector<std::string>& arguments,
          const std::vector<std::string>& environment,
          const std::string& workingDirectory,
          posix_spawn_file_actions_t* actions, pid_t* pid) {
  if (!workingDirectory.empty())
    posix_spawn_file_actions_addchdir_np(actions, workingDirectory.c_str());
  std::vector<char*> argv = pointers(arguments);
  std::vector<char*> envp = pointers(environment);
  int error = posix_spawn(pid, argv[0], actions, nullptr, argv.data(),
                          envp.data());
  posix_spawn_file_actions_destroy(actions);
  return error;
}

}  // namespace

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

ProcessResult runProcess(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::string& workingDirectory) {
  ProcessResult result;
  Capture out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.path.c_str(),
                                   O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err.path.c_str(),
                                   O_WRONLY | O_TRUNC, 0);
  pid_t pid;
  int error = spawn(arguments, environment, workingDirectory, &actions, &pid);
  if (error != 0) {
    result.err = std::string("cannot start: ") + strerror(error);
    return result;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.signal = WTERMSIG(status);
  result.out = readFile(out.path);
  result.err = readFile(err.path);
  return result;
}

pid_t startProcess(const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment,
                   const std::string& workingDirectory) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd < 3; ++fd)
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
  pid_t pid;
  return spawn(arguments, environment, workingDirectory, &actions, &pid) == 0 ? pid : -1;
}
