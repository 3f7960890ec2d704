#include "verdict/scratch_guard.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>

#include "host/end_by_signal.h"
#include "host/held_paths.h"
#include "host/utf8.h"
#include "verdict/host_files.h"

namespace {

// One scratch folder per worker (a batch never has more than 64), the
// configuration's folder, and the report each worker is writing.
constexpr int kSlots = 160;

// Fixed storage: the handler touches nothing allocated or locked.
HeldPaths<kSlots> heldFolders;

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction before[3];

// Calls `visit(fd, name)` for each entry of the open folder `fd` but "."
// and "..", reading it with system calls only, as a signal handler may.
template <typename Visit>
void forEachEntry(int fd, Visit visit) {
  alignas(8) char buffer[4096];
  for (;;) {
    const long got = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
    if (got <= 0)
      return;
    for (long at = 0; at < got;) {
      // struct linux_dirent64: inode, offset, record length, type, name.
      unsigned short length;
      memcpy(&length, buffer + at + 16, sizeof length);
      const char* name = buffer + at + 19;
      if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0)
        visit(fd, name);
      at += length;
    }
  }
}

// Removes the file `path`, or empties the folder `path` (its files, and
// folders that are empty) and removes it, with system calls only, as a
// signal handler may.
void removeFolder(const char* path) {
  if (unlink(path) == 0)
    return;
  const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    forEachEntry(fd, [](int folder, const char* name) {
      if (unlinkat(folder, name, 0) != 0)
        unlinkat(folder, name, AT_REMOVEDIR);
    });
    close(fd);
  }
  rmdir(path);
}

// Set before the handler removes what is held; lock-free, so the handler
// may set it.
std::atomic<bool> ending{false};

// Where this process makes its scratch folders and how their names start,
// copied when the handler is installed: the handler removes every such
// folder, held or not yet (one made a moment before its hold).
char scratchFolder[PATH_MAX];
char scratchPrefix[NAME_MAX + 1];

void removeOwnScratchFolders() {
  const int fd = open(scratchFolder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  forEachEntry(fd, [](int, const char* name) {
    const size_t prefixLength = strlen(scratchPrefix);
    const size_t folderLength = strlen(scratchFolder);
    const size_t nameLength = strlen(name);
    char path[PATH_MAX];
    if (prefixLength > 0 && strncmp(name, scratchPrefix, prefixLength) == 0 &&
        folderLength + 1 + nameLength < sizeof path) {
      memcpy(path, scratchFolder, folderLength);
      path[folderLength] = '/';
      memcpy(path + folderLength + 1, name, nameLength + 1);
      removeFolder(path);
    }
  });
  close(fd);
}

void removeHeldAndPassOn(int signal) {
  ending.store(true);
  heldFolders.forEachHeld(removeFolder);
  removeOwnScratchFolders();
  for (int i = 0; i < 3; ++i) {
    if (kSignals[i] != signal)
      continue;
    const struct sigaction& previous = before[i];
    if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler != SIG_DFL &&
        previous.sa_handler != SIG_IGN) {
      previous.sa_handler(signal);  // the engine's: ends the process
    }
  }
  endBySignal(signal);
}

}  // namespace

void installScratchCleanup() {
  static std::once_flag once;
  std::call_once(once, [] {
    const ScratchPlace place = scratchPlace();
    if (place.folder.size() < sizeof scratchFolder &&
        place.namePrefix.size() < sizeof scratchPrefix) {
      memcpy(scratchFolder, place.folder.c_str(), place.folder.size() + 1);
      memcpy(scratchPrefix, place.namePrefix.c_str(), place.namePrefix.size() + 1);
    }
    for (int i = 0; i < 3; ++i) {
      if (sigaction(kSignals[i], nullptr, &before[i]) != 0)
        continue;
      if (!(before[i].sa_flags & SA_SIGINFO) && before[i].sa_handler == SIG_IGN)
        continue;  // nohup: the caller wants the signal ignored
      struct sigaction ours {};
      ours.sa_handler = removeHeldAndPassOn;
      sigemptyset(&ours.sa_mask);
      for (int other : kSignals)
        sigaddset(&ours.sa_mask, other);
      ours.sa_flags = SA_RESTART;
      sigaction(kSignals[i], &ours, nullptr);
    }
  });
}

int holdScratchFolder(std::u16string_view folder) {
  return heldFolders.hold(toUtf8(folder)->c_str());
}

void releaseScratchFolder(int slot) {
  heldFolders.release(slot);
}

bool endingBySignal() {
  return ending.load();
}
