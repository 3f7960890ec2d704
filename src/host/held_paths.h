// A fixed table of path names held for a signal handler to act on (remove
// a file, empty a folder) should a signal end the process: filled and
// emptied by any thread, read by the handler without allocating or
// locking.
#ifndef XSLVALIDATE_HOST_HELD_PATHS_H_
#define XSLVALIDATE_HOST_HELD_PATHS_H_

#include <limits.h>
#include <string.h>

#include <atomic>

template <int kSlots>
class HeldPaths {
 public:
  // Holds `path` (NUL-terminated). Returns its slot, or -1 when the name
  // is too long or every slot is taken.
  int hold(const char* path) {
    const size_t length = strlen(path);
    if (length >= PATH_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
      int expected = kFree;
      if (!slots_[i].state.compare_exchange_strong(expected, kFilling,
                                                   std::memory_order_acq_rel))
        continue;
      memcpy(slots_[i].path, path, length + 1);
      slots_[i].state.store(kHeld, std::memory_order_release);
      return i;
    }
    return -1;
  }

  // Releases `slot` from hold; -1 is ignored.
  void release(int slot) {
    if (slot < 0 || slot >= kSlots) return;
    slots_[slot].state.store(kFree, std::memory_order_release);
  }

  // Calls `act(path)` for every path held now. Async-signal-safe as long
  // as `act` is.
  template <typename Act>
  void forEachHeld(Act act) {
    for (Slot& slot : slots_) {
      if (slot.state.load(std::memory_order_acquire) == kHeld) act(slot.path);
    }
  }

 private:
  enum SlotState : int { kFree = 0, kFilling = 1, kHeld = 2 };
  struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
  };
  Slot slots_[kSlots];
};

#endif  // XSLVALIDATE_HOST_HELD_PATHS_H_
