// Tables for the grammar operations of PathText. Both grammars are tested
// on every host.
//
// Each row gives the expected parts as text; the test also checks how the
// stretches sit in the path (stem starts at the file name, extension follows
// the stem, the parent starts at 0), which makes the text comparison exact
// about positions as well.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "path/path_text.h"
#include "path/short_texts_test_support.h"

namespace {

struct PartsRow {
  std::u16string path;
  std::u16string rootName;  // path[0, rootNameEnd)
  std::u16string filename;  // path[filenameStart, n)
  std::u16string stem;
  std::u16string extension;
  std::u16string parent;
};

std::u16string part(std::u16string_view text, Stretch s) {
  return std::u16string(text.substr(s.start, s.end - s.start));
}

void checkParts(const PathText& g, const PartsRow& row) {
  SCOPED_TRACE(testing::PrintToString(row.path));
  const std::u16string_view p = row.path;
  const size_t rootEnd = g.rootNameEnd(p);
  const size_t f = g.filenameStart(p);
  const Stretch stem = g.stem(p);
  const Stretch ext = g.extension(p);
  const Stretch parent = g.parentPath(p);

  ASSERT_LE(rootEnd, p.size());
  ASSERT_LE(f, p.size());
  EXPECT_EQ(std::u16string(p.substr(0, rootEnd)), row.rootName);
  EXPECT_EQ(std::u16string(p.substr(f)), row.filename);

  EXPECT_EQ(stem.start, f);
  ASSERT_LE(stem.start, stem.end);
  EXPECT_EQ(ext.start, stem.end);
  ASSERT_LE(ext.start, ext.end);
  ASSERT_LE(ext.end, p.size());
  EXPECT_EQ(part(p, stem), row.stem);
  EXPECT_EQ(part(p, ext), row.extension);

  EXPECT_EQ(parent.start, 0u);
  ASSERT_LE(parent.end, p.size());
  EXPECT_EQ(part(p, parent), row.parent);
}

// Windows grammar: both slashes separate; root names, drive designators,
// prefixes and stream suffixes are recognised.
const std::vector<PartsRow> kWindowsParts = {
    // path, root name, file name, stem, extension, parent
    {u"", u"", u"", u"", u"", u""},
    {u"inv.xml", u"", u"inv.xml", u"inv", u".xml", u""},
    {uR"(C:\in\inv01.xml)", u"C:", u"inv01.xml", u"inv01", u".xml",
     uR"(C:\in)"},
    // Drive designators.
    {u"C:", u"C:", u"", u"", u"", u"C:"},
    {uR"(C:\)", u"C:", u"", u"", u"", uR"(C:\)"},
    {u"C://", u"C:", u"", u"", u"", u"C://"},
    {u"C:inv.xml", u"C:", u"inv.xml", u"inv", u".xml", u"C:"},
    {u"c:x", u"c:", u"x", u"x", u"", u"c:"},
    {u"C://inv.xml", u"C:", u"inv.xml", u"inv", u".xml", u"C://"},
    {uR"(C:\inv.xml)", u"C:", u"inv.xml", u"inv", u".xml", uR"(C:\)"},
    {uR"(C:/data\in/inv.xml)", u"C:", u"inv.xml", u"inv", u".xml",
     uR"(C:/data\in)"},
    // A colon after anything but an ASCII letter is no drive designator.
    {u"1:x.xml", u"", u"1:x.xml", u"1", u"", u""},
    {u"\u00C4:x.xml", u"", u"\u00C4:x.xml", u"\u00C4", u"", u""},
    {u"::x", u"", u"::x", u"", u"", u""},
    {u"C", u"", u"C", u"C", u"", u""},
    // Network names.
    {uR"(\\server)", uR"(\\server)", u"", u"", u"", uR"(\\server)"},
    {uR"(\\server\)", uR"(\\server)", u"", u"", u"", uR"(\\server\)"},
    {uR"(\\server\share)", uR"(\\server)", u"share", u"share", u"",
     uR"(\\server\)"},
    {uR"(\\server\share\inv.xml)", uR"(\\server)", u"inv.xml", u"inv",
     u".xml", uR"(\\server\share)"},
    {u"//server/share/inv.xml", u"//server", u"inv.xml", u"inv", u".xml",
     u"//server/share"},
    {uR"(\/s.t)", uR"(\/s.t)", u"", u"", u"", uR"(\/s.t)"},
    {uR"(\\s\)", uR"(\\s)", u"", u"", u"", uR"(\\s\)"},
    // Slashes without a root name.
    {uR"(\)", u"", u"", u"", u"", uR"(\)"},
    {uR"(\\)", u"", u"", u"", u"", uR"(\\)"},
    {uR"(\x.xml)", u"", u"x.xml", u"x", u".xml", uR"(\)"},
    {uR"(\\\x.xml)", u"", u"x.xml", u"x", u".xml", uR"(\\\)"},
    {u"/", u"", u"", u"", u"", u"/"},
    // Prefixes \\?\, \\.\ and \??\ (a root name of three code units).
    {uR"(\\?\C:\x.xml)", uR"(\\?)", u"x.xml", u"x", u".xml", uR"(\\?\C:)"},
    {uR"(\\?\)", uR"(\\?)", u"", u"", u"", uR"(\\?\)"},
    {uR"(\\.\)", uR"(\\.)", u"", u"", u"", uR"(\\.\)"},
    {uR"(\\.\COM1)", uR"(\\.)", u"COM1", u"COM1", u"", uR"(\\.\)"},
    {uR"(\\.\pipe\name)", uR"(\\.)", u"name", u"name", u"",
     uR"(\\.\pipe)"},
    {uR"(\??\x.xml)", uR"(\??)", u"x.xml", u"x", u".xml", uR"(\??\)"},
    {uR"(\??\)", uR"(\??)", u"", u"", u"", uR"(\??\)"},
    {uR"(/??/x)", uR"(/??)", u"x", u"x", u"", uR"(/??/)"},
    // \??\ followed by a further slash is no prefix: only the first
    // backslash is a root directory.
    {uR"(\??\\x.xml)", u"", u"x.xml", u"x", u".xml", uR"(\??)"},
    {uR"(\??\\)", u"", u"", u"", u"", uR"(\??)"},
    {uR"(\??)", u"", u"??", u"??", u"", uR"(\)"},
    // \\?\ followed by a further slash: a network name "\\?" instead.
    {uR"(\\?\\x)", uR"(\\?)", u"x", u"x", u"", uR"(\\?\\)"},
    // Directory part: repeated and mixed slashes before the file name.
    {u"dir/inv.xml", u"", u"inv.xml", u"inv", u".xml", u"dir"},
    {uR"(dir\\inv.xml)", u"", u"inv.xml", u"inv", u".xml", u"dir"},
    {uR"(dir\/\inv.xml)", u"", u"inv.xml", u"inv", u".xml", u"dir"},
    {uR"(a//b\\c.d)", u"", u"c.d", u"c", u".d", uR"(a//b)"},
    {uR"(dir\sub\)", u"", u"", u"", u"", uR"(dir\sub)"},
    {u"dir//", u"", u"", u"", u"", u"dir"},
    {uR"(.\..\x)", u"", u"x", u"x", u"", uR"(.\..)"},
    // Stream suffixes.
    {uR"(C:\d\inv.xml:meta)", u"C:", u"inv.xml:meta", u"inv", u".xml",
     uR"(C:\d)"},
    {uR"(dir\inv:x.xml)", u"", u"inv:x.xml", u"inv", u"", u"dir"},
    {u"a.b:c.d", u"", u"a.b:c.d", u"a", u".b", u""},
    {u"x.:s", u"", u"x.:s", u"x", u".", u""},
    {u"C:x:y.z", u"C:", u"x:y.z", u"x", u"", u"C:"},
    {u":s", u"", u":s", u"", u"", u""},
    // Stems and extensions.
    {u"inv", u"", u"inv", u"inv", u"", u""},
    {u"inv.tar.gz", u"", u"inv.tar.gz", u"inv.tar", u".gz", u""},
    {u"inv.", u"", u"inv.", u"inv", u".", u""},
    {u"a..", u"", u"a..", u"a.", u".", u""},
    {u".hidden", u"", u".hidden", u".hidden", u"", u""},
    {u".a.b", u"", u".a.b", u".a", u".b", u""},
    {u"..a", u"", u"..a", u".", u".a", u""},
    {u".", u"", u".", u".", u"", u""},
    {u"..", u"", u"..", u"..", u"", u""},
    {u"...", u"", u"...", u"..", u".", u""},
    {uR"(dir\.)", u"", u".", u".", u"", u"dir"},
    {uR"(dir\..)", u"", u"..", u"..", u"", u"dir"},
    {u"x", u"", u"x", u"x", u"", u""},
    // UTF-16 code units are taken as they are (a surrogate pair here).
    {u"R\u00E9chnung/\U0001F4C4.xml", u"", u"\U0001F4C4.xml", u"\U0001F4C4",
     u".xml", u"R\u00E9chnung"},
};

// POSIX grammar: "/" only; backslash and colon are ordinary characters.
const std::vector<PartsRow> kPosixParts = {
    {u"", u"", u"", u"", u"", u""},
    {u"inv.xml", u"", u"inv.xml", u"inv", u".xml", u""},
    {u"invoices/inv.xml", u"", u"inv.xml", u"inv", u".xml", u"invoices"},
    {u"/", u"", u"", u"", u"", u"/"},
    {u"//", u"", u"", u"", u"", u"//"},
    {u"/inv.xml", u"", u"inv.xml", u"inv", u".xml", u"/"},
    {u"//inv.xml", u"", u"inv.xml", u"inv", u".xml", u"//"},
    {u"///inv.xml", u"", u"inv.xml", u"inv", u".xml", u"///"},
    {u"/data//inv.xml", u"", u"inv.xml", u"inv", u".xml", u"/data"},
    {u"//server/share", u"", u"share", u"share", u"", u"//server"},
    {u"//server", u"", u"server", u"server", u"", u"//"},
    {u"dir/", u"", u"", u"", u"", u"dir"},
    {u"dir//", u"", u"", u"", u"", u"dir"},
    {u"a/./b", u"", u"b", u"b", u"", u"a/."},
    // Backslashes are ordinary characters.
    {uR"(a\b.xml)", u"", uR"(a\b.xml)", uR"(a\b)", u".xml", u""},
    {uR"(\\server)", u"", uR"(\\server)", uR"(\\server)", u"", u""},
    {uR"(C:\in\inv.xml)", u"", uR"(C:\in\inv.xml)", uR"(C:\in\inv)", u".xml",
     u""},
    {uR"(\??\x.xml)", u"", uR"(\??\x.xml)", uR"(\??\x)", u".xml", u""},
    // Colons are ordinary characters: no drive designator, no stream.
    {u"C:", u"", u"C:", u"C:", u"", u""},
    {u"C:inv.xml", u"", u"C:inv.xml", u"C:inv", u".xml", u""},
    {u"inv:2024.xml", u"", u"inv:2024.xml", u"inv:2024", u".xml", u""},
    {u"inv.xml:meta", u"", u"inv.xml:meta", u"inv", u".xml:meta", u""},
    {u"d/x.:s", u"", u"x.:s", u"x", u".:s", u"d"},
    // Stems and extensions follow the Windows rules.
    {u"inv.tar.gz", u"", u"inv.tar.gz", u"inv.tar", u".gz", u""},
    {u"inv.", u"", u"inv.", u"inv", u".", u""},
    {u"a..", u"", u"a..", u"a.", u".", u""},
    {u".hidden", u"", u".hidden", u".hidden", u"", u""},
    {u"..a", u"", u"..a", u".", u".a", u""},
    {u".", u"", u".", u".", u"", u""},
    {u"..", u"", u"..", u"..", u"", u""},
    {u"d/..", u"", u"..", u"..", u"", u"d"},
};

TEST(PathTextWindows, PartsTable) {
  const PathText g{PathGrammar::Windows};
  for (const PartsRow& row : kWindowsParts) checkParts(g, row);
}

TEST(PathTextPosix, PartsTable) {
  const PathText g{PathGrammar::Posix};
  for (const PartsRow& row : kPosixParts) checkParts(g, row);
}

TEST(PathTextWindows, RootNameEndPositions) {
  const PathText g{PathGrammar::Windows};
  EXPECT_EQ(g.rootNameEnd(u""), 0u);
  EXPECT_EQ(g.rootNameEnd(u"C"), 0u);
  EXPECT_EQ(g.rootNameEnd(u"C:"), 2u);
  EXPECT_EQ(g.rootNameEnd(u"z:x"), 2u);
  EXPECT_EQ(g.rootNameEnd(u"@:x"), 0u);
  EXPECT_EQ(g.rootNameEnd(uR"(\\server)"), 8u);
  EXPECT_EQ(g.rootNameEnd(uR"(\\server/share)"), 8u);
  EXPECT_EQ(g.rootNameEnd(uR"(\\?\)"), 3u);
  EXPECT_EQ(g.rootNameEnd(uR"(\\.\x)"), 3u);
  EXPECT_EQ(g.rootNameEnd(uR"(\??\x)"), 3u);
  EXPECT_EQ(g.rootNameEnd(uR"(\??\\x)"), 0u);
  EXPECT_EQ(g.rootNameEnd(uR"(\\\x)"), 0u);
  EXPECT_EQ(g.rootNameEnd(uR"(\\)"), 0u);
  EXPECT_EQ(g.rootNameEnd(uR"(\x)"), 0u);
}

TEST(PathTextPosix, NoRootNames) {
  const PathText g{PathGrammar::Posix};
  for (std::u16string_view p :
       {u"C:", u"C:/x", u"//server", u"//?/x", uR"(\\server)", uR"(\\?\x)"}) {
    EXPECT_EQ(g.rootNameEnd(p), 0u) << testing::PrintToString(
        std::u16string(p));
  }
}

struct JoinRow {
  std::u16string directory;
  std::u16string name;
  std::u16string joined;
};

TEST(PathTextWindows, Join) {
  const PathText g{PathGrammar::Windows};
  const std::vector<JoinRow> rows = {
      {u"", u"n", u"n"},
      {u"C:", u"n", u"C:n"},
      {u"c:", u"n", u"c:n"},
      {u"1:", u"n", uR"(1:\n)"},
      {u"C:x", u"n", uR"(C:x\n)"},
      {uR"(C:\)", u"n", uR"(C:\n)"},
      {u"C://", u"n", u"C://n"},
      {u"dir", u"n", uR"(dir\n)"},
      {u"dir/", u"n", u"dir/n"},
      {uR"(dir\)", u"n", uR"(dir\n)"},
      {u"a/b", u"n", uR"(a/b\n)"},
      {uR"(\\server)", u"n", uR"(\\server\n)"},
      {uR"(\\?\C:)", u"n", uR"(\\?\C:\n)"},
      {u".", u"n", uR"(.\n)"},
  };
  for (const JoinRow& row : rows) {
    EXPECT_EQ(g.join(row.directory, row.name), row.joined)
        << testing::PrintToString(row.directory);
  }
}

TEST(PathTextPosix, Join) {
  const PathText g{PathGrammar::Posix};
  const std::vector<JoinRow> rows = {
      {u"", u"n", u"n"},
      {u"/", u"n", u"/n"},
      {u"//", u"n", u"//n"},
      {u"dir", u"n", u"dir/n"},
      {u"dir/", u"n", u"dir/n"},
      {u"C:", u"n", u"C:/n"},
      {uR"(dir\)", u"n", uR"(dir\/n)"},
  };
  for (const JoinRow& row : rows) {
    EXPECT_EQ(g.join(row.directory, row.name), row.joined)
        << testing::PrintToString(row.directory);
  }
}

// Every text over a small alphabet up to length 6: the operations stay in
// bounds and keep their order.
TEST(PathText, StretchesAreOrderedForAllShortTexts) {
  const std::u16string alphabet = uR"(a.\/:?C)";
  for (PathGrammar grammar : {PathGrammar::Windows, PathGrammar::Posix}) {
    const PathText g{grammar};
    for (const std::u16string& p : shortTexts(alphabet, 6)) {
      const size_t r = g.rootNameEnd(p);
      const size_t f = g.filenameStart(p);
      const Stretch s = g.stem(p);
      const Stretch e = g.extension(p);
      const Stretch par = g.parentPath(p);
      ASSERT_LE(r, f) << testing::PrintToString(p);
      ASSERT_LE(f, p.size()) << testing::PrintToString(p);
      ASSERT_EQ(s.start, f) << testing::PrintToString(p);
      ASSERT_LE(s.end, e.start) << testing::PrintToString(p);
      ASSERT_EQ(s.end, e.start) << testing::PrintToString(p);
      ASSERT_LE(e.start, e.end) << testing::PrintToString(p);
      ASSERT_LE(e.end, p.size()) << testing::PrintToString(p);
      ASSERT_EQ(par.start, 0u) << testing::PrintToString(p);
      ASSERT_LE(par.end, f) << testing::PrintToString(p);
      if (grammar == PathGrammar::Posix) {
        ASSERT_EQ(r, 0u);
      }
      // The extension is empty or starts with a dot.
      if (e.end > e.start) {
        ASSERT_EQ(p[e.start], u'.');
      }
    }
  }
}

}  // namespace
