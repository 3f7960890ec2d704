// Windows has no handler that could remove the scratch folders on Ctrl-C;
// they are removed when a batch ends normally.
#include "verdict/scratch_guard.h"

void installScratchCleanup() {}

int holdScratchFolder(std::u16string_view) {
  return -1;
}

void releaseScratchFolder(int) {}

bool endingBySignal() {
  return false;
}
