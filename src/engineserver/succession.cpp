#include "succession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <thread>

namespace {

// The folder of the socket at `socketPath`, with its slash.
std::string folderOf(const std::string& socketPath) {
  return socketPath.substr(0, socketPath.rfind('/') + 1);
}

// Waits up to `wait` for `pid` to end, then kills it and waits for good;
// reaps it either way.
void reap(pid_t pid, std::chrono::milliseconds wait) {
  const auto end = std::chrono::steady_clock::now() + wait;
  int status;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return;
    if (std::chrono::steady_clock::now() >= end) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::string takeOverName(const std::string& socketPath, pid_t pid) {
  return folderOf(socketPath) + "next-" + std::to_string(pid);
}

std::string heldListName(const std::string& socketPath, pid_t pid) {
  return folderOf(socketPath) + "held-" + std::to_string(pid);
}

std::optional<Successor> startSuccessor(const std::string& socketPath,
                                        const std::string& contextKey,
                                        const std::string& heldList) {
  // Everything the child needs is made before the fork: after it, only
  // calls that are safe in the child of a process with many threads.
  char program[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  if (length <= 0) return std::nullopt;
  program[length] = '\0';
  const std::string descriptor = std::to_string(kReadyDescriptor);
  const char* argv[] = {program, socketPath.c_str(), contextKey.c_str(), heldList.c_str(),
                        descriptor.c_str(), nullptr};
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // dup2 onto itself would keep close-on-exec.
    if (ends[1] == kReadyDescriptor) {
      if (fcntl(ends[1], F_SETFD, 0) != 0) _exit(127);
    } else if (dup2(ends[1], kReadyDescriptor) < 0) {
      _exit(127);
    }
    close_range(kReadyDescriptor + 1, ~0U, 0);
    // The running program's own file, even if its name was replaced since.
    execv("/proc/self/exe", const_cast<char* const*>(argv));
    _exit(127);
  }
  close(ends[1]);
  if (child < 0) {
    close(ends[0]);
    return std::nullopt;
  }
  Successor successor;
  successor.pid = child;
  successor.ready = ends[0];
  successor.socketPath = socketPath;
  successor.heldList = heldList;
  successor.started = std::chrono::steady_clock::now();
  return successor;
}

Succession successionState(Successor* successor) {
  if (successor->state != Succession::kPending || successor->ready < 0) return successor->state;
  pollfd readable{successor->ready, POLLIN, 0};
  if (poll(&readable, 1, 0) <= 0) return successor->state;
  char word;
  const ssize_t got = read(successor->ready, &word, 1);
  if (got == 1) {
    successor->state = Succession::kTookOver;
  } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
    successor->state = Succession::kFailed;
  }
  return successor->state;
}

Succession endSuccession(Successor* successor, std::chrono::milliseconds wait) {
  if (successionState(successor) == Succession::kPending) kill(successor->pid, SIGTERM);
  if (successor->state != Succession::kTookOver) {
    reap(successor->pid, wait);
    // Its word may have come before it ended; once it has ended, the pipe
    // has said all it will.
    if (successionState(successor) == Succession::kPending) successor->state = Succession::kFailed;
    if (successor->state == Succession::kFailed) {
      unlink(takeOverName(successor->socketPath, successor->pid).c_str());
    }
  }
  unlink(successor->heldList.c_str());
  close(successor->ready);
  successor->ready = -1;
  return successor->state;
}

int listenAt(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  unlink(path.c_str());
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      chmod(path.c_str(), 0600) != 0 || listen(fd, 64) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int takeOver(const std::string& socketPath) {
  const std::string temporary = takeOverName(socketPath, getpid());
  const int fd = listenAt(temporary);
  if (fd < 0) {
    unlink(temporary.c_str());
    return -1;
  }
  if (rename(temporary.c_str(), socketPath.c_str()) != 0) {
    unlink(temporary.c_str());
    close(fd);
    return -1;
  }
  return fd;
}

void tellTookOver(int readyFd) {
  if (write(readyFd, "T", 1) < 0) {
  }
  close(readyFd);
}
