// Report naming under both grammars, on every host: a table of input,
// stylesheet and report for each, and a check over all short texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "path/path_text.h"
#include "path/report_path.h"
#include "path/short_texts_test_support.h"

namespace {

struct ReportRow {
  std::u16string input;
  std::u16string stylesheet;
  std::u16string report;
};

void checkReports(PathGrammar grammar, const std::vector<ReportRow>& rows) {
  for (const ReportRow& row : rows) {
    EXPECT_EQ(deriveReportPath(row.input, row.stylesheet, grammar), row.report)
        << "input " << testing::PrintToString(row.input) << ", stylesheet "
        << testing::PrintToString(row.stylesheet);
  }
}

// Report names under the Windows grammar for the common forms of input
// path: drives, relative paths, mixed and doubled slashes, network names,
// prefixes, stream suffixes, and stems and extensions of every shape.
const std::vector<ReportRow> kWindowsReports = {
    {uR"(C:\in\inv01.xml)", uR"(D:\rules\syntax.xsl)",
     uR"(C:\in\inv01_syntax.xml)"},
    {u"inv.xml", u"checks/a.b.xsl", u"inv_a.b.xml"},
    {u"C:inv.xml", u"s.xsl", u"C:inv_s.xml"},
    {uR"(C:\inv.xml)", u"s.xsl", uR"(C:\inv_s.xml)"},
    {u"C://inv.xml", u"s.xsl", u"C://inv_s.xml"},
    {u"dir/inv.xml", u"s.xsl", uR"(dir\inv_s.xml)"},
    {uR"(dir\\inv.xml)", u"s.xsl", uR"(dir\inv_s.xml)"},
    {uR"(C:/data\in/inv.xml)", u"s.xsl", uR"(C:/data\in\inv_s.xml)"},
    {uR"(\\server\share\inv.xml)", u"s.xsl", uR"(\\server\share\inv_s.xml)"},
    {uR"(\\server)", u"s.xsl", uR"(\\server\_s)"},
    {uR"(\\?\C:\x.xml)", u"s.xsl", uR"(\\?\C:\x_s.xml)"},
    {uR"(\??\\x.xml)", u"s.xsl", uR"(\??\x_s.xml)"},
    {u"inv", u"s.xsl", u"inv_s"},
    {u"inv.tar.gz", u"s.xsl", u"inv.tar_s.gz"},
    {u"inv.", u"s.xsl", u"inv_s."},
    {u".hidden", u"s.xsl", u".hidden_s"},
    {u"..a", u"s.xsl", u"._s.a"},
    {uR"(C:\d\inv.xml:meta)", u"s.xsl", uR"(C:\d\inv_s.xml)"},
    {uR"(dir\inv:x.xml)", u"s.xsl", uR"(dir\inv_s)"},
    {u"1:x.xml", u"s.xsl", u"1_s"},
    {u"inv.xml", u".xsl", u"inv_.xsl.xml"},
    {uR"(dir\sub\)", u"s.xsl", uR"(dir\sub\_s)"},
};

TEST(DeriveReportPathWindows, Table) {
  checkReports(PathGrammar::Windows, kWindowsReports);
}

TEST(DeriveReportPathWindows, EdgeCases) {
  checkReports(
      PathGrammar::Windows,
      {
          // Input and stylesheet in different folders of one drive.
          {uR"(C:\in\inv01.xml)", uR"(C:\rules\business.xsl)",
           uR"(C:\in\inv01_business.xml)"},
          // Roots stay exactly as written.
          {uR"(C:\)", u"s.xsl", uR"(C:\_s)"},
          {u"C:", u"s.xsl", u"C:_s"},
          {u"c:x", u"s.xsl", u"c:x_s"},
          {uR"(C:\\\inv.xml)", u"s.xsl", uR"(C:\\\inv_s.xml)"},
          {uR"(\inv.xml)", u"s.xsl", uR"(\inv_s.xml)"},
          {u"/inv.xml", u"s.xsl", u"/inv_s.xml"},
          {uR"(\\\inv.xml)", u"s.xsl", uR"(\\\inv_s.xml)"},
          {uR"(\\)", u"s.xsl", uR"(\\_s)"},
          {uR"(\\server\)", u"s.xsl", uR"(\\server\_s)"},
          {u"//server", u"s.xsl", uR"(//server\_s)"},
          {u"//server/share/inv.xml", u"s.xsl", uR"(//server/share\inv_s.xml)"},
          // Prefixes.
          {uR"(\\.\COM1)", u"s.xsl", uR"(\\.\COM1_s)"},
          {uR"(\\.\)", u"s.xsl", uR"(\\.\_s)"},
          {uR"(\\?\)", u"s.xsl", uR"(\\?\_s)"},
          {uR"(\\?\C:\d\x.xml)", u"s.xsl", uR"(\\?\C:\d\x_s.xml)"},
          {uR"(\??\x.xml)", u"s.xsl", uR"(\??\x_s.xml)"},
          {uR"(\??\C:\x.xml)", u"s.xsl", uR"(\??\C:\x_s.xml)"},
          // Only the separator the join adds is a backslash.
          {u"dir/sub/", u"s.xsl", uR"(dir/sub\_s)"},
          {u"a/b//c/inv.xml", u"s.xsl", uR"(a/b//c\inv_s.xml)"},
          {uR"(dir\/\inv.xml)", u"s.xsl", uR"(dir\inv_s.xml)"},
          {uR"(.\..\inv.xml)", u"s.xsl", uR"(.\..\inv_s.xml)"},
          // Stems and extensions.
          {u"a..", u"s.xsl", u"a._s."},
          {u".", u"s.xsl", u"._s"},
          {u"..", u"s.xsl", u".._s"},
          {u"...", u"s.xsl", u".._s."},
          {u".a.b", u"s.xsl", u".a_s.b"},
          {u"a.b:c.d", u"s.xsl", u"a_s.b"},
          {u"C:inv.xml:meta", u"s.xsl", u"C:inv_s.xml"},
          {u"", u"s.xsl", u"_s"},
          // The stylesheet contributes only its stem, under the same rules.
          {u"inv.xml", u"", u"inv_.xml"},
          {u"inv.xml", u"s", u"inv_s.xml"},
          {u"inv.xml", u"C:s.xsl", u"inv_s.xml"},
          {u"inv.xml", uR"(D:\r\s.xsl:stream)", u"inv_s.xml"},
          {u"inv.xml", uR"(\\server)", u"inv_.xml"},
          {u"inv.xml", uR"(r\)", u"inv_.xml"},
          {u"inv.xml", u"..a.xsl", u"inv_..a.xml"},
          {u"inv.xml", u"s.tar.xsl", u"inv_s.tar.xml"},
          // Non-ASCII text, code units as they are.
          {u"C:\\Rechnungen\\Gr\u00F6\u00DFe.xml", u"Pr\u00FCfung.xsl",
           u"C:\\Rechnungen\\Gr\u00F6\u00DFe_Pr\u00FCfung.xml"},
          {u"\U0001F4C4.xml", u"s.xsl", u"\U0001F4C4_s.xml"},
      });
}

TEST(DeriveReportPathWindows, SameStemGivesSameReport) {
  const std::u16string input = uR"(C:\in\inv.xml)";
  const std::u16string a =
      deriveReportPath(input, uR"(C:\r1\s.xsl)", PathGrammar::Windows);
  const std::u16string b =
      deriveReportPath(input, u"D:/r2/s.xslt", PathGrammar::Windows);
  const std::u16string c =
      deriveReportPath(input, uR"(C:\r1\s.xsl)", PathGrammar::Windows);
  EXPECT_EQ(a, uR"(C:\in\inv_s.xml)");
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, c);
}

// Report names under the POSIX grammar: "/" is the only separator, and
// backslashes and colons are ordinary characters.
TEST(DeriveReportPathPosix, Table) {
  checkReports(
      PathGrammar::Posix,
      {
          {u"invoices/inv.xml", u"r/s.xsl", u"invoices/inv_s.xml"},
          {u"/data//inv.xml", u"s.xsl", u"/data/inv_s.xml"},
          {u"//inv.xml", u"s.xsl", u"//inv_s.xml"},
          {u"inv:2024.xml", u"s.xsl", u"inv:2024_s.xml"},
          {uR"(a\b.xml)", u"s.xsl", uR"(a\b_s.xml)"},
          {u"dir/", u"s.xsl", u"dir/_s"},
          {u"..a", u"s.xsl", u"._s.a"},
          {u"/inv.xml", u"s.xsl", u"/inv_s.xml"},
          {u"/", u"s.xsl", u"/_s"},
          {u"//", u"s.xsl", u"//_s"},
          {u"///inv.xml", u"s.xsl", u"///inv_s.xml"},
          {u"", u"s.xsl", u"_s"},
          {u"inv.xml", u"dir/a.b.xsl", u"inv_a.b.xml"},
          {u"inv.xml", u"", u"inv_.xml"},
          {u"inv.xml", u"/r//s.xsl", u"inv_s.xml"},
          {u"inv.xml", uR"(r\s.xsl)", uR"(inv_r\s.xml)"},
          {u"inv.xml", u"s.xsl:x", u"inv_s.xml"},
          {u"inv.xml", u"dir/", u"inv_.xml"},
          {u"inv.xml", u".xsl", u"inv_.xsl.xml"},
          {u"dir//", u"s.xsl", u"dir/_s"},
          {u"a/./b.xml", u"s.xsl", u"a/./b_s.xml"},
          {u"inv", u"s.xsl", u"inv_s"},
          {u"inv.tar.gz", u"s.xsl", u"inv.tar_s.gz"},
          {u"inv.", u"s.xsl", u"inv_s."},
          {u"a..", u"s.xsl", u"a._s."},
          {u".hidden", u"s.xsl", u".hidden_s"},
          {u"..", u"s.xsl", u".._s"},
          // Windows syntax is plain text here.
          {uR"(C:\in\inv01.xml)", u"s.xsl", uR"(C:\in\inv01_s.xml)"},
          {u"C:inv.xml", u"s.xsl", u"C:inv_s.xml"},
          {u"C:", u"s.xsl", u"C:_s"},
          {uR"(\\server)", u"s.xsl", uR"(\\server_s)"},
          {u"//server", u"s.xsl", u"//server_s"},
          {u"inv.xml:meta", u"s.xsl", u"inv_s.xml:meta"},
          {u"1:x.xml", u"s.xsl", u"1:x_s.xml"},
      });
}

// Every input over a small alphabet up to length 6: the report never
// names the input itself, and its file name is the input's stem, "_", the
// stylesheet's stem and the input's extension.
TEST(DeriveReportPath, NeverNamesTheInputForAllShortTexts) {
  const std::u16string alphabet = uR"(a._\/:?C)";
  for (PathGrammar grammar : {PathGrammar::Windows, PathGrammar::Posix}) {
    const PathText g{grammar};
    for (const std::u16string& p : shortTexts(alphabet, 6)) {
      for (std::u16string_view sheet : {u"", u"s.xsl", u"a"}) {
        const std::u16string report = deriveReportPath(p, sheet, grammar);
        ASSERT_NE(report, p) << testing::PrintToString(p);
        const Stretch st = g.stem(p);
        const Stretch ex = g.extension(p);
        const Stretch ss = g.stem(sheet);
        std::u16string name = p.substr(st.start, st.end - st.start);
        name += u'_';
        name += sheet.substr(ss.start, ss.end - ss.start);
        name += p.substr(ex.start, ex.end - ex.start);
        ASSERT_GE(report.size(), name.size());
        ASSERT_EQ(report.substr(report.size() - name.size()), name)
            << testing::PrintToString(p);
      }
    }
  }
}

}  // namespace
