#include "socket_place.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "jvmcore/private_folder.h"

std::optional<std::string> serverDirectory(const char* xdgRuntimeDir, uid_t uid) {
  const std::string directory = privateFolderName(xdgRuntimeDir, uid);
  if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  return existingPrivateFolder(xdgRuntimeDir, uid);
}

namespace {

// Binds or connects `fd` (`bind`) to `path` through its folder's descriptor.
int atFolder(int fd, const std::string& path, bool bind) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0                ? "/"
                                                         : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const int folderFd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folderFd < 0) return errno;
  const std::string shortName = "/proc/self/fd/" + std::to_string(folderFd) + "/" + name;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  int error = ENAMETOOLONG;
  if (shortName.size() < sizeof address.sun_path) {
    std::memcpy(address.sun_path, shortName.c_str(), shortName.size() + 1);
    const auto* at = reinterpret_cast<const sockaddr*>(&address);
    const int done = bind ? ::bind(fd, at, sizeof address) : ::connect(fd, at, sizeof address);
    error = done == 0 ? 0 : errno;
  }
  close(folderFd);
  return error;
}

}  // namespace

int bindSocketAt(int fd, const std::string& path) { return atFolder(fd, path, true); }

int connectSocketAt(int fd, const std::string& path) { return atFolder(fd, path, false); }

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
