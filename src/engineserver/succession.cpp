#include "succession.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "serverprotocol/socket_place.h"

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

int newHeldList() { return memfd_create("xslvalidate-held", MFD_CLOEXEC); }

std::string heldListName(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

void sweepStaleHandOvers(const std::string& socketPath) {
  const std::string folder = folderOf(socketPath);
  DIR* entries = opendir(folder.c_str());
  if (!entries) return;
  while (const dirent* entry = readdir(entries)) {
    const std::string name = entry->d_name;
    for (const char* prefix : {"held-", "next-"}) {
      if (name.rfind(prefix, 0) != 0) continue;
      const std::string digits = name.substr(std::strlen(prefix));
      if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) continue;
      const long pid = std::strtol(digits.c_str(), nullptr, 10);
      if (pid > 0 && pid <= INT_MAX && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
        unlink((folder + name).c_str());
      }
    }
  }
  closedir(entries);
}

std::optional<Successor> startSuccessor(const std::string& socketPath,
                                        const std::string& contextKey, int heldFd,
                                        const std::string& ownName) {
  // Everything the child needs is made before the fork: after it, only
  // calls that are safe in the child of a process with many threads.
  char program[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  if (length <= 0) return std::nullopt;
  program[length] = '\0';
  const std::string descriptor = std::to_string(kReadyDescriptor);
  const std::string heldList = heldListName(kHeldDescriptor);
  const char* argv[] = {program,          socketPath.c_str(), contextKey.c_str(),
                        heldList.c_str(), descriptor.c_str(), ownName.c_str(), nullptr};
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    close(heldFd);
    return std::nullopt;
  }
  // Both descriptors are moved clear of the places they go to first, so
  // that one dup2 cannot overwrite the other.
  const int ready = fcntl(ends[1], F_DUPFD_CLOEXEC, kHeldDescriptor + 1);
  const int held = fcntl(heldFd, F_DUPFD_CLOEXEC, kHeldDescriptor + 1);
  close(ends[1]);
  close(heldFd);
  if (ready < 0 || held < 0) {
    if (ready >= 0) close(ready);
    if (held >= 0) close(held);
    close(ends[0]);
    return std::nullopt;
  }
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (dup2(ready, kReadyDescriptor) < 0 || dup2(held, kHeldDescriptor) < 0) _exit(127);
    close_range(kHeldDescriptor + 1, ~0U, 0);
    // The running program's own file, even if its name was replaced since.
    execv("/proc/self/exe", const_cast<char* const*>(argv));
    _exit(127);
  }
  // The successor holds the list from now on; it ends with the last holder.
  close(ready);
  close(held);
  if (child < 0) {
    close(ends[0]);
    return std::nullopt;
  }
  Successor successor;
  successor.pid = child;
  successor.ready = ends[0];
  successor.socketPath = socketPath;
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
  close(successor->ready);
  successor->ready = -1;
  return successor->state;
}

int listenAt(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (bindSocketAt(fd, path) != 0) {
    close(fd);
    return -1;
  }
  if (chmod(path.c_str(), 0600) != 0 || listen(fd, 64) != 0) {
    unlink(path.c_str());
    close(fd);
    return -1;
  }
  return fd;
}

std::string nameIdentity(const std::string& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) return "";
  // The change time too: a file system may give a socket made after the
  // old one's removal the same inode number at once (ext4 does), and a
  // socket's change time is set when it is made or renamed.
  return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino) + ":" +
         std::to_string(status.st_ctim.tv_sec) + "." + std::to_string(status.st_ctim.tv_nsec);
}

int takeOver(const std::string& socketPath, const std::string& predecessor,
             const std::string& lockPath) {
  const std::string temporary = takeOverName(socketPath, getpid());
  unlink(temporary.c_str());  // left by an earlier process of this id
  const int fd = listenAt(temporary);
  if (fd < 0) return -1;
  const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  bool locked = lock >= 0;
  while (locked && flock(lock, LOCK_EX) != 0) locked = errno == EINTR;
  const bool tookOver = locked && !predecessor.empty() &&
                        nameIdentity(socketPath) == predecessor &&
                        rename(temporary.c_str(), socketPath.c_str()) == 0;
  if (lock >= 0) close(lock);
  if (!tookOver) {
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
