#include "verdict/host_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

void write(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::u16string text(const fs::path& path) {
  std::string s = path.string();
  return std::u16string(s.begin(), s.end());
}

class HostFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    std::u16string made = makeScratchFolder();
    ASSERT_FALSE(made.empty());
    folder = made;
    dir = fs::path(std::string(made.begin(), made.end()));
  }
  void TearDown() override {
    removeScratchFolder(folder);
    EXPECT_FALSE(fs::exists(dir));
  }
  std::u16string folder;
  fs::path dir;
};

TEST_F(HostFilesTest, ScratchFolderIsPrivate) {
  EXPECT_EQ(fs::perms::owner_all,
            fs::status(dir).permissions() & fs::perms::all);
}

TEST_F(HostFilesTest, OnlyANewOrRewrittenFileCountsAsWritten) {
  fs::path report = dir / "report.xml";
  FileIdentity absent = fileIdentity(text(report));
  EXPECT_FALSE(absent.exists);
  EXPECT_FALSE(writtenSince(absent, fileIdentity(text(report))));

  write(report, "<old/>");
  FileIdentity old = fileIdentity(text(report));
  EXPECT_TRUE(writtenSince(absent, old));
  EXPECT_FALSE(writtenSince(old, fileIdentity(text(report))));

  // Same size, same second: replaced by rename (a new inode) ...
  write(dir / "next", "<new/>");
  fs::rename(dir / "next", report);
  FileIdentity renamed = fileIdentity(text(report));
  EXPECT_TRUE(writtenSince(old, renamed));
  // ... or written in place (same inode, new times).
  write(report, "<nex/>");
  EXPECT_TRUE(writtenSince(renamed, fileIdentity(text(report))));

  fs::remove(report);
  EXPECT_FALSE(writtenSince(renamed, fileIdentity(text(report))));
}

TEST_F(HostFilesTest, OpenAndRemoveByPath) {
  std::u16string path = inFolder(folder, u"s.txt");
  std::FILE* file = openFile(path, "wb");
  ASSERT_NE(nullptr, file);
  std::fputs("x", file);
  std::fclose(file);
  EXPECT_TRUE(fs::exists(dir / "s.txt"));
  removeFile(path);
  EXPECT_FALSE(fs::exists(dir / "s.txt"));
  removeFile(path);  // nothing there: no harm
  EXPECT_EQ(nullptr, openFile(path, "rb"));
}

// A stylesheet of the verdict's own is kept under a name drawn from its
// bytes, in a folder of the user's alone, for the next call to name again.
TEST_F(HostFilesTest, KeptStylesheetIsFoundAgainAndAlwaysHoldsItsBytes) {
  const char* before = getenv("XDG_RUNTIME_DIR");
  const std::string saved = before ? before : "";
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  const std::u16string first = keptStylesheet("summary", "<a/>");
  ASSERT_FALSE(first.empty());
  const fs::path kept(std::string(first.begin(), first.end()));
  EXPECT_EQ(dir / "xslvalidate-verdict", kept.parent_path());
  EXPECT_EQ(fs::perms::owner_all,
            fs::status(kept.parent_path()).permissions() & fs::perms::all);
  EXPECT_EQ(first, keptStylesheet("summary", "<a/>"));
  EXPECT_NE(first, keptStylesheet("summary", "<b/>"));

  // Whatever changed the file, the next call finds the bytes it asks for.
  write(kept, "<a/><tampered/>");
  EXPECT_EQ(first, keptStylesheet("summary", "<a/>"));
  std::ifstream in(kept, std::ios::binary);
  EXPECT_EQ("<a/>", std::string(std::istreambuf_iterator<char>(in), {}));

  // A folder others may enter is not used; the caller writes its own copy.
  fs::permissions(kept.parent_path(), fs::perms::others_write, fs::perm_options::add);
  EXPECT_TRUE(keptStylesheet("summary", "<a/>").empty());
  std::u16string placed;
  EXPECT_EQ("", placeStylesheet(folder, u"summary.xsl", "summary", "<a/>", &placed));
  EXPECT_EQ(text(dir / "summary.xsl"), placed);

  if (before)
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  else
    unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
