#include "shared_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <vector>

namespace {

// JDK 17's archive header (filemap.hpp, CDSFileMapHeaderBase): magic, crc,
// version, then a table of seven regions of 72 bytes from offset 16, each
// with the region's file offset at +24 and its length at +40 (64-bit,
// little-endian on x86-64) and its CRC-32 at +0.
constexpr uint32_t kStaticMagic = 0xf00baba2;
constexpr uint32_t kDynamicMagic = 0xf00baba8;
constexpr uint32_t kVersion = 11;
constexpr size_t kRegionTable = 16;
constexpr size_t kRegionSize = 72;
constexpr size_t kRegionCount = 7;
constexpr size_t kCrcAt = 0;
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

bool archiveRegionsIntact(int fd, const unsigned char* header) {
  std::vector<unsigned char> buffer(1 << 20);
  for (size_t i = 0; i < kRegionCount; ++i) {
    const unsigned char* region = header + kRegionTable + i * kRegionSize;
    const uint32_t expected = read32(region + kCrcAt);
    uint64_t offset = read64(region + kFileOffsetAt);
    uint64_t left = read64(region + kUsedAt);
    uLong crc = crc32(0L, Z_NULL, 0);
    while (left > 0) {
      const size_t chunk = left < buffer.size() ? static_cast<size_t>(left) : buffer.size();
      const ssize_t got = pread(fd, buffer.data(), chunk, static_cast<off_t>(offset));
      if (got <= 0) return false;
      crc = crc32(crc, buffer.data(), static_cast<uInt>(got));
      offset += static_cast<uint64_t>(got);
      left -= static_cast<uint64_t>(got);
    }
    if (static_cast<uint32_t>(crc) != expected) return false;
  }
  return true;
}

std::string usableArchiveIn(const std::string& directory, std::string* whyNot) {
  std::string unused;
  std::string& reason = whyNot ? *whyNot : unused;
  const std::string path = directory + "/" + kSharedArchiveName;
  if (path.find(':') != std::string::npos) {
    reason = "its path holds a ':'";
    return "";
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    reason = "missing or unreadable";
    return "";
  }
  struct stat info;
  unsigned char header[kHeaderSize];
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    reason = "not a regular file";
  } else if (pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
             !archiveIsWhole(header, sizeof header, static_cast<uint64_t>(info.st_size))) {
    reason = "size or header does not match a whole JDK 17 archive";
  } else if (!archiveRegionsIntact(fd, header)) {
    reason = "a region's CRC-32 does not match";
  } else {
    reason.clear();
  }
  close(fd);
  return reason.empty() ? path : "";
}
