#include "interrupt_cleanup.h"

#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <atomic>

namespace {

// Runs at a time per process: one for the tool, a few for a server that
// runs several; names are absolute paths the kernel accepts.
constexpr int kSlots = 16;

enum SlotState : int { kFree = 0, kFilling = 1, kHeld = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX];
};

// Fixed storage: the handler touches nothing that is allocated or locked.
Slot slots[kSlots];

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void removeHeldAndReraise(int signal) {
  const int savedErrno = errno;
  for (Slot& slot : slots) {
    if (slot.state.load(std::memory_order_acquire) == kHeld) unlink(slot.path);
  }
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  sigaction(signal, &byDefault, nullptr);
  sigset_t self;
  sigemptyset(&self);
  sigaddset(&self, signal);
  pthread_sigmask(SIG_UNBLOCK, &self, nullptr);
  raise(signal);
  // Not reached: the default action of these signals ends the process.
  errno = savedErrno;
  _exit(128 + signal);
}

}  // namespace

bool installInterruptCleanup() {
  bool ok = true;
  for (int signal : kSignals) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0) {
      ok = false;
      continue;
    }
    if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL) continue;
    struct sigaction ours {};
    ours.sa_handler = removeHeldAndReraise;
    sigemptyset(&ours.sa_mask);
    for (int other : kSignals) sigaddset(&ours.sa_mask, other);
    ours.sa_flags = SA_RESTART;
    if (sigaction(signal, &ours, nullptr) != 0) ok = false;
  }
  return ok;
}

int holdForInterrupt(const char* path) {
  const size_t length = strlen(path);
  if (length >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!slots[i].state.compare_exchange_strong(expected, kFilling, std::memory_order_acq_rel))
      continue;
    memcpy(slots[i].path, path, length + 1);
    slots[i].state.store(kHeld, std::memory_order_release);
    return i;
  }
  return -1;
}

void releaseFromInterrupt(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  slots[slot].state.store(kFree, std::memory_order_release);
}
