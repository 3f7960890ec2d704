// The class-data archive check, on made-up headers and on the archive the
// build made; and, in this process whose JVM the engine tests started, that
// the JVM really mapped the archive beside the library.
#include "jvmcore/shared_archive.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// A JDK 17 archive header (magic, crc, version, seven regions of 72 bytes
// from offset 16) whose regions are given as {file offset, length}.
std::vector<unsigned char> header(uint32_t magic, uint32_t version,
                                  const std::vector<std::pair<uint64_t, uint64_t>>& regions) {
  std::vector<unsigned char> bytes(16 + 7 * 72, 0);
  auto put = [&](size_t at, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
  };
  put(0, magic, 4);
  put(8, version, 4);
  for (size_t i = 0; i < regions.size(); ++i) {
    put(16 + i * 72 + 24, regions[i].first, 8);
    put(16 + i * 72 + 40, regions[i].second, 8);
  }
  return bytes;
}

constexpr uint32_t kDynamic = 0xf00baba8;
constexpr uint32_t kStatic = 0xf00baba2;

TEST(ArchiveIsWhole, AcceptsOnlyAFileThatHoldsEveryRegion) {
  // Three regions as in a dynamic archive; the last ends at 0xcc3400.
  const std::vector<std::pair<uint64_t, uint64_t>> regions = {
      {0x1000, 0x59c120}, {0x59e000, 0x6f2ed8}, {0xc91000, 0x32400}};
  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
    uint64_t fileSize;
    bool whole;
  };
  const Case cases[] = {
      {"dynamic archive, page-rounded size", header(kDynamic, 11, regions), 0xcc4000, true},
      {"ends exactly at the last region", header(kDynamic, 11, regions), 0xcc3400, true},
      {"static archive", header(kStatic, 11, regions), 0xcc4000, true},
      {"one byte short of the last region", header(kDynamic, 11, regions), 0xcc33ff, false},
      {"cut in the middle", header(kDynamic, 11, regions), 6000000, false},
      {"only the header", header(kDynamic, 11, regions), 4096, false},
      {"other format version", header(kDynamic, 12, regions), 0xcc4000, false},
      {"not an archive", header(0x3c3f786d, 11, regions), 0xcc4000, false},
      {"region past 2^64", header(kDynamic, 11, {{0x1000, ~uint64_t{0}}}), 0xcc4000, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(archiveIsWhole(c.bytes.data(), c.bytes.size(), c.fileSize), c.whole) << c.what;
  }
  const auto full = header(kDynamic, 11, regions);
  EXPECT_FALSE(archiveIsWhole(full.data(), 100, 0xcc4000)) << "header cut short";
}

class UsableArchiveIn : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/jvmengine-archive-XXXXXX";
    dir_ = mkdtemp(name);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string archivePath() const { return dir_ + "/" + kSharedArchiveName; }
  void writeArchive(const std::string& bytes) const {
    std::ofstream(archivePath(), std::ios::binary) << bytes;
  }

  std::string dir_;
};

std::string builtArchive() {
  std::ifstream in(JVMENGINE_ARCHIVE, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST_F(UsableArchiveIn, TakesTheBuiltArchiveButNoPartOfIt) {
  const std::string archive = builtArchive();
  ASSERT_GT(archive.size(), 1u << 20) << "the build made no archive at " JVMENGINE_ARCHIVE;
  writeArchive(archive);
  EXPECT_EQ(usableArchiveIn(dir_), archivePath());
  for (size_t size : {size_t{0}, size_t{100}, size_t{4096}, archive.size() / 2,
                      archive.size() - 4096}) {
    writeArchive(archive.substr(0, size));
    EXPECT_EQ(usableArchiveIn(dir_), "") << "archive cut to " << size << " bytes";
  }
}

// The {file offset, length} of region `i` in the header of `archive`.
std::pair<size_t, size_t> regionOf(const std::string& archive, size_t i) {
  auto read64 = [&](size_t at) {
    uint64_t value = 0;
    for (int b = 7; b >= 0; --b) value = value << 8 | static_cast<unsigned char>(archive[at + b]);
    return static_cast<size_t>(value);
  };
  return {read64(16 + i * 72 + 24), read64(16 + i * 72 + 40)};
}

TEST_F(UsableArchiveIn, RefusesTheBuiltArchiveWithAnyRegionDamaged) {
  const std::string archive = builtArchive();
  ASSERT_GT(archive.size(), 1u << 20) << "the build made no archive at " JVMENGINE_ARCHIVE;
  // A dynamic archive has three regions: read-write, read-only, bitmap.
  for (size_t region = 0; region < 3; ++region) {
    const auto [offset, length] = regionOf(archive, region);
    ASSERT_GT(length, 0u) << "region " << region;
    for (size_t at : {offset, offset + length / 2, offset + length - 1}) {
      std::string damaged = archive;
      damaged[at] = static_cast<char>(damaged[at] ^ 0x01);
      writeArchive(damaged);
      EXPECT_EQ(usableArchiveIn(dir_), "") << "one bit flipped at " << at << ", region " << region;
    }
  }
}

TEST_F(UsableArchiveIn, IgnoresWhatIsNotARegularArchiveFile) {
  EXPECT_EQ(usableArchiveIn(dir_), "") << "no archive";
  fs::create_directory(archivePath());
  EXPECT_EQ(usableArchiveIn(dir_), "") << "a directory";
  fs::remove(archivePath());
  ASSERT_EQ(mkfifo(archivePath().c_str(), 0600), 0);
  EXPECT_EQ(usableArchiveIn(dir_), "") << "a named pipe, which must not block";
  fs::remove(archivePath());

  // The JVM's option would read "a:b/archive" as two archives.
  const std::string colon = dir_ + "/a:b";
  fs::create_directory(colon);
  std::ofstream(colon + "/" + kSharedArchiveName, std::ios::binary) << builtArchive();
  EXPECT_EQ(usableArchiveIn(colon), "");
}

// The engine tests' JVM runs from this process; its archive is the one
// beside the library, which the build made.
TEST(SharedArchive, IsMappedByTheEngineJvm) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  bool mapped = false;
  while (std::getline(maps, line)) {
    if (line.find(kSharedArchiveName) != std::string::npos) mapped = true;
  }
  EXPECT_TRUE(mapped) << JVMENGINE_ARCHIVE " is not mapped: the JVM did not take it";
}

}  // namespace
