#include "host/file_exists.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "host/arguments.h"

namespace {

namespace fs = std::filesystem;

TEST(FileExistsTest, EveryExistingObjectPassesAndNothingElse) {
  fs::path dir = fs::temp_directory_path() /
                 ("xslvalidate-exists-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "file.xml") << "x";
  std::ofstream(dir / "bad\xFF.xml") << "x";
  fs::create_symlink(dir / "nowhere", dir / "dangling");
  fs::create_symlink(dir / "loop", dir / "loop");

  // Whether it exists, and the reason given when it cannot be reached.
  struct Case {
    std::string path;
    bool exists;
    std::string reason;
  };
  const Case cases[] = {
      {(dir / "file.xml").string(), true, ""},
      {dir.string(), true, ""},
      {(dir / "dangling").string(), true, ""},
      {"/dev/null", true, ""},
      {(dir / "bad\xFF.xml").string(), true, ""},
      {(dir / "missing.xml").string(), false, ""},
      {(dir / "file.xml/child").string(), false, ""},
      {"", false, ""},
      {(dir / "loop/file.xml").string(), false, "Too many levels of symbolic links"},
      {dir.string() + std::string(4096, '/') + "file.xml", false, "File name too long"},
  };
  for (const Case& c : cases) {
    std::string reason = "left over";
    EXPECT_EQ(c.exists, fileExists(decodeArgument(c.path), &reason)) << c.path;
    EXPECT_EQ(c.reason, reason) << c.path;
    EXPECT_EQ(c.exists, fileExists(decodeArgument(c.path))) << "without a reason: " << c.path;
  }
  fs::remove_all(dir);
}

}  // namespace
