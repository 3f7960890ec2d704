#include "socket_place.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "jvmcore/private_folder.h"

std::optional<std::string> serverDirectory(const char* xdgRuntimeDir, uid_t uid) {
  const std::string directory = privateFolderName(xdgRuntimeDir, uid);
  if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  return existingPrivateFolder(xdgRuntimeDir, uid);
}

bool isOwnSocket(const std::string& path, uid_t uid) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode) && status.st_uid == uid;
}

namespace {

// FNV-1a, 64 bits, over the bytes of `path` continuing from `hash`.
bool hashFile(const std::string& path, std::uint64_t* hash) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[1 << 16];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) {
    for (ssize_t i = 0; i < got; ++i) {
      *hash ^= static_cast<unsigned char>(buffer[i]);
      *hash *= 0x100000001b3ULL;
    }
  }
  close(fd);
  return got == 0;
}

}  // namespace

std::optional<std::string> buildIdentity(const std::string& firstPath,
                                         const std::string& secondPath) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  if (!hashFile(firstPath, &hash) || !hashFile(secondPath, &hash)) return std::nullopt;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return std::string(hex);
}
