#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "verdict/daemon.h"
#include "verdict/host_files.h"

namespace {

// A folder of its own per test, removed after it.
struct TokenFolder : testing::Test {
  std::filesystem::path folder;
  void SetUp() override {
    char name[] = "/tmp/token-test-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(name));
    folder = name;
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  std::filesystem::path write(const char* name, const std::string& bytes, mode_t mode) {
    const std::filesystem::path file = folder / name;
    std::ofstream(file) << bytes;
    chmod(file.c_str(), mode);
    return file;
  }
};

// The token file's rules, each with a file that breaks it and the words
// that name the problem; a link (as a Kubernetes Secret is) to a private
// file is read.
TEST_F(TokenFolder, RefusedOrReadByWhatTheFileIs) {
  const std::filesystem::path privateFile = write("private", "s3cret\n", 0600);
  std::filesystem::create_symlink(privateFile, folder / "link");
  ASSERT_EQ(0, mkfifo((folder / "fifo").c_str(), 0600));
  write("open", "s3cret\n", 0644);
  write("large", std::string(kMaxTokenFile + 1, 'x'), 0600);
  write("empty", "\n", 0600);
  std::filesystem::create_symlink(folder / "open", folder / "link-to-open");
  struct Case {
    std::filesystem::path file;
    const char* problem;  // empty: read
  } cases[] = {
      {privateFile, ""},
      {folder / "link", ""},
      {folder / "open", "others may use it (mode 0644)"},
      {folder / "link-to-open", "others may use it (mode 0644)"},
      {"/dev/zero", "not a regular file"},
      {folder / "fifo", "not a regular file"},
      {folder / "large", "larger than 4096 bytes"},
      {folder / "empty", "empty"},
      {folder / "missing", "cannot be opened"},
  };
  for (const Case& c : cases) {
    std::string token = "before";
    const std::string problem = readTokenFile(fromFsPath(c.file), &token);
    if (*c.problem == '\0') {
      EXPECT_EQ("", problem) << c.file;
      EXPECT_EQ("s3cret", token) << c.file;
    } else {
      EXPECT_NE(std::string::npos, problem.find(c.problem)) << c.file << ": " << problem;
      EXPECT_EQ("", token) << c.file;
    }
  }
}

}  // namespace
