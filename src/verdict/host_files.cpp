#include "verdict/host_files.h"

bool writtenSince(const FileIdentity& before, const FileIdentity& after) {
  if (!after.exists)
    return false;
  return !before.exists || before.device != after.device ||
         before.index != after.index || before.size != after.size ||
         before.changed != after.changed || before.modified != after.modified;
}
