#include "verdict/configuration_snapshot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "verdict/host_files.h"

namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A configuration's folder, its copy, removed after each test.
struct Snapshot : testing::Test {
  fs::path top;
  void SetUp() override {
    char name[] = "/tmp/snapshot-test-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(name));
    top = name;
    fs::create_directories(top / "repo" / "rules");
    std::ofstream(top / "repo" / "scenarios.xml") << "<scenarios/>";
    std::ofstream(top / "repo" / "rules" / "a.xsl") << "first";
    std::ofstream(top / "elsewhere.xsl") << "linked";
    fs::create_symlink(top / "elsewhere.xsl", top / "repo" / "rules" / "linked.xsl");
    // Nothing a configuration reads, and a copy must not wait on it.
    ASSERT_EQ(0, mkfifo((top / "repo" / "pipe").c_str(), 0600));
  }
  void TearDown() override { fs::remove_all(top); }
};

// The copy holds what the configuration reads, links followed, and stays
// as it was when the originals change.
TEST_F(Snapshot, CopiesTheRepositoryAndKeepsItsContent) {
  const struct {
    const char* copy;
    std::u16string repository;  // empty: the file's own folder
  } cases[] = {
      {"copy-with", fromFsPath(top / "repo")},
      {"copy-slash", fromFsPath(top / "repo") + u"/"},
      {"copy-without", u""},
  };
  for (const auto& c : cases) {
    const bool withRepository = !c.repository.empty();
    const fs::path into = top / c.copy;
    std::u16string file, repository;
    ASSERT_EQ("", snapshotConfiguration(fromFsPath(top / "repo" / "scenarios.xml"), c.repository,
                                        fromFsPath(into), &file, &repository));
    EXPECT_EQ("<scenarios/>", contentOf(fsPath(file)));
    const fs::path tree = withRepository ? fsPath(repository) : fsPath(file).parent_path();
    EXPECT_EQ(withRepository, !repository.empty());
    EXPECT_EQ(0u, fsPath(file).native().rfind(into.native(), 0)) << fsPath(file);
    EXPECT_EQ("first", contentOf(tree / "rules" / "a.xsl"));
    EXPECT_EQ("linked", contentOf(tree / "rules" / "linked.xsl"));
    EXPECT_FALSE(fs::is_symlink(tree / "rules" / "linked.xsl"));
    EXPECT_FALSE(fs::exists(tree / "pipe"));
  }
  std::ofstream(top / "repo" / "rules" / "a.xsl") << "edited in place";
  EXPECT_EQ("first", contentOf(top / "copy-with" / "repository" / "rules" / "a.xsl"));
}

TEST_F(Snapshot, RefusesWhatItCannotCopy) {
  fs::create_directory_symlink(top / "repo", top / "repo" / "rules" / "loop");
  std::u16string file, repository;
  const std::string looped =
      snapshotConfiguration(fromFsPath(top / "repo" / "scenarios.xml"), fromFsPath(top / "repo"),
                            fromFsPath(top / "copy"), &file, &repository);
  EXPECT_NE("", looped);
  const std::string missing = snapshotConfiguration(
      fromFsPath(top / "none.xml"), u"", fromFsPath(top / "copy2"), &file, &repository);
  EXPECT_EQ("the file does not exist", missing);
}

}  // namespace

namespace {

// A refusal of the copy names the operator's files, not the copy's.
TEST(SnapshotMessages, NameTheOriginals) {
  const struct {
    const char* repository;
    const char* text;
    const char* shown;
  } cases[] = {
      {"/srv/conf", "missing /copy/repository/rules/a.xsl", "missing /srv/conf/rules/a.xsl"},
      {"/srv/conf", "cannot read /copy/scenarios.xml twice: /copy/scenarios.xml",
       "cannot read /etc/s.xml twice: /etc/s.xml"},
      {"", "missing /copy/repository/a.xsl", "missing /etc/a.xsl"},
      {"", "nothing of the copy", "nothing of the copy"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.shown, asOriginalPaths(c.text, u"/etc/s.xml",
                                       fromFsPath(std::filesystem::path(c.repository)), u"/copy"))
        << c.text;
}

}  // namespace
