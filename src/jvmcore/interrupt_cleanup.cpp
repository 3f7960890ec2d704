#include "interrupt_cleanup.h"

#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "host/end_by_signal.h"
#include "host/held_paths.h"

namespace {

// Runs at a time per process: one for the tool, a few for a server that
// runs several; names are absolute paths the kernel accepts.
constexpr int kSlots = 16;

// Fixed storage: the handler touches nothing that is allocated or locked.
HeldPaths<kSlots> heldFiles;

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The connections of the runs the engine server is making for this
// process, one per calling thread, each held as its descriptor + 1 so
// that a place is free (0) from the start.
std::atomic<int> serverRuns[kSlots];

// How long the handler waits for the server to stop a run and clean up.
constexpr long kServerCleanUpMilliseconds = 10000;

long long nowMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// Once the server has been told that its caller is going (it then stops
// the run and removes its temporary file), waits until the server closes
// its side, or the time is up. Only async-signal-safe calls.
void awaitServerCleanUp(int fd) {
  const long long deadline = nowMilliseconds() + kServerCleanUpMilliseconds;
  char discard[256];
  for (;;) {
    const long long left = deadline - nowMilliseconds();
    if (left <= 0) return;
    pollfd readable{fd, POLLIN, 0};
    const int ready = poll(&readable, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return;
    const ssize_t got = read(fd, discard, sizeof discard);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;  // the server has closed its side, or failed
  }
}

void removeHeldAndReraise(int signal) {
  heldFiles.forEachHeld([](const char* path) { unlink(path); });
  // Every run is told first, so the server stops them all at once.
  int held[kSlots];
  for (int i = 0; i < kSlots; ++i) {
    held[i] = serverRuns[i].load(std::memory_order_acquire) - 1;
    if (held[i] >= 0) shutdown(held[i], SHUT_WR);
  }
  for (int fd : held) {
    if (fd >= 0) awaitServerCleanUp(fd);
  }
  endBySignal(signal);
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
  return heldFiles.hold(path);
}

void releaseFromInterrupt(int slot) {
  heldFiles.release(slot);
}

int holdServerRun(int fd) {
  for (int i = 0; i < kSlots; ++i) {
    int expected = 0;
    if (serverRuns[i].compare_exchange_strong(expected, fd + 1, std::memory_order_acq_rel))
      return i;
  }
  return -1;
}

void releaseServerRun(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  serverRuns[slot].store(0, std::memory_order_release);
}
