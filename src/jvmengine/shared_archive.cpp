#include "shared_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// JDK 17's archive header (filemap.hpp, CDSFileMapHeaderBase): magic, crc,
// version, then a table of seven regions of 72 bytes from offset 16, each
// with the region's file offset at +24 and its length at +40 (64-bit,
// little-endian on x86-64).
constexpr uint32_t kStaticMagic = 0xf00baba2;
constexpr uint32_t kDynamicMagic = 0xf00baba8;
constexpr uint32_t kVersion = 11;
constexpr size_t kRegionTable = 16;
constexpr size_t kRegionSize = 72;
constexpr size_t kRegionCount = 7;
constexpr size_t kFileOffsetAt = 24;
constexpr size_t kUsedAt = 40;
constexpr size_t kHeaderSize = kRegionTable + kRegionCount * kRegionSize;

uint32_t read32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint64_t read64(const unsigned char* p) {
  return uint64_t{read32(p)} | uint64_t{read32(p + 4)} << 32;
}

}  // namespace

bool archiveIsWhole(const unsigned char* header, size_t size, uint64_t fileSize) {
  if (size < kHeaderSize || fileSize < kHeaderSize) return false;
  const uint32_t magic = read32(header);
  if (magic != kStaticMagic && magic != kDynamicMagic) return false;
  if (read32(header + 8) != kVersion) return false;
  for (size_t i = 0; i < kRegionCount; ++i) {
    const unsigned char* region = header + kRegionTable + i * kRegionSize;
    const uint64_t offset = read64(region + kFileOffsetAt);
    const uint64_t used = read64(region + kUsedAt);
    if (offset > fileSize || used > fileSize - offset) return false;
  }
  return true;
}

std::string usableArchiveIn(const std::string& directory) {
  const std::string path = directory + "/" + kSharedArchiveName;
  if (path.find(':') != std::string::npos) return "";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return "";
  struct stat info;
  unsigned char header[kHeaderSize];
  const bool whole = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                     pread(fd, header, sizeof header, 0) == static_cast<ssize_t>(sizeof header) &&
                     archiveIsWhole(header, sizeof header, static_cast<uint64_t>(info.st_size));
  close(fd);
  return whole ? path : "";
}
