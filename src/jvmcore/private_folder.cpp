#include "private_folder.h"

#include <sys/stat.h>

std::string privateFolderName(const char* xdgRuntimeDir, uid_t uid) {
  if (xdgRuntimeDir && xdgRuntimeDir[0] == '/') return std::string(xdgRuntimeDir) + "/xslvalidate";
  return "/tmp/xslvalidate-" + std::to_string(uid);
}

std::optional<std::string> existingPrivateFolder(const char* xdgRuntimeDir, uid_t uid) {
  const std::string folder = privateFolderName(xdgRuntimeDir, uid);
  struct stat status;
  if (lstat(folder.c_str(), &status) != 0) return std::nullopt;
  if (!S_ISDIR(status.st_mode) || status.st_uid != uid || (status.st_mode & 077) != 0) {
    return std::nullopt;
  }
  return folder;
}
