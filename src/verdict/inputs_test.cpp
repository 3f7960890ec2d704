#include "verdict/inputs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "verdict/host_files.h"

namespace {

namespace fs = std::filesystem;

const char kInvoice[] = "<?xml version=\"1.0\"?>\n<Invoice xmlns=\"urn:x\"/>\n";
const char kReport[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- made by a rule set -->\n"
    "<svrl:schematron-output xmlns:svrl=\"http://purl.oclc.org/dsdl/svrl\"/>\n";

std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }
std::string narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

class InputsTest : public testing::Test {
 protected:
  void SetUp() override {
    scratch = makeScratchFolder();
    ASSERT_FALSE(scratch.empty());
    root = narrow(scratch);
  }
  void TearDown() override { removeScratchFolder(scratch); }
  void put(const std::string& relative, const std::string& text) {
    fs::create_directories((root / relative).parent_path());
    std::ofstream(root / relative, std::ios::binary) << text;
  }
  std::vector<std::string> paths(const InputSet& set) {
    std::vector<std::string> found;
    for (const InputDocument& d : set.documents)
      found.push_back(fs::path(narrow(d.path)).lexically_relative(root).string() + "|" +
                      narrow(d.subfolder));
    return found;
  }
  std::u16string scratch;
  fs::path root;
};

// A tree with a subfolder, same-named documents in two folders, this tool's
// outputs beside documents (known by content only), an invoice named like
// another's report, other files, and a report folder inside the tree.
TEST_F(InputsTest, FolderWalkTakesDocumentsInStableOrderAndLeavesOnlyOwnOutputsOut) {
  put("inbox/b.xml", kInvoice);
  put("inbox/a.XML", kInvoice);
  put("inbox/a_PEPPOL-EN16931-UBL.XML", kInvoice);  // named like a report: a document
  put("inbox/sub/b.xml", kInvoice);
  put("inbox/sub/b_other.xml", kReport);             // SVRL, whatever its name
  put("inbox/sub/b-report.xml",
      "<rep:report xmlns:rep=\"http://www.xoev.de/de/validator/varl/1\"/>");
  put("inbox/sub/results.xml",
      "<?xml version=\"1.0\"?>\n<testsuites name=\"xslvalidate-verdict\" tests=\"1\">");
  put("inbox/sub/notes.txt", "x");
  put("inbox/reports/b_PEPPOL-EN16931-UBL.xml", kInvoice);
  InputSet set = collectInputs({u16((root / "inbox").string())},
                               {u16((root / "inbox/reports").string())});
  ASSERT_EQ("", set.error);
  EXPECT_EQ((std::vector<std::string>{"inbox/a.XML|", "inbox/a_PEPPOL-EN16931-UBL.XML|",
                                      "inbox/b.xml|", "inbox/sub/b.xml|sub"}),
            paths(set));
}

// Two inboxes with the same file names: each one's documents keep apart
// under its own name; two folders that share a name would mix and are
// refused.
TEST_F(InputsTest, SeveralFoldersKeepTheirDocumentsApartUnderTheirOwnNames) {
  put("north/inbox/a.xml", kInvoice);
  put("north/inbox/sub/a.xml", kInvoice);
  put("south/a.xml", kInvoice);
  InputSet set = collectInputs({u16((root / "north/inbox").string()),
                                u16((root / "south").string() + "/")},
                               {});
  ASSERT_EQ("", set.error);
  EXPECT_EQ((std::vector<std::string>{"north/inbox/a.xml|inbox", "north/inbox/sub/a.xml|inbox/sub",
                                      "south/a.xml|south"}),
            paths(set));
  EXPECT_EQ("", reportClash(set.documents, u"out"));

  put("east/inbox/a.xml", kInvoice);
  set = collectInputs({u16((root / "north/inbox").string()),
                       u16((root / "east/inbox").string())},
                      {});
  EXPECT_NE(std::string::npos, set.error.find("have the same name")) << set.error;
}

TEST_F(InputsTest, OperandsKeepTheirOrderAndADocumentReachedTwiceCountsOnce) {
  put("x/z.xml", kInvoice);
  put("x/y.xml", kInvoice);
  put("single.txt", kInvoice);  // named itself: taken whatever its name
  InputSet set = collectInputs(
      {u16((root / "single.txt").string()), u16((root / "x").string()),
       u16((root / "x/y.xml").string())},
      {});
  ASSERT_EQ("", set.error);
  EXPECT_EQ((std::vector<std::string>{"single.txt|", "x/y.xml|", "x/z.xml|"}), paths(set));
}

TEST_F(InputsTest, MissingOperandIsAnError) {
  InputSet set = collectInputs({u16((root / "nothing").string())}, {});
  EXPECT_NE(std::string::npos, set.error.find("does not exist")) << set.error;
}

TEST(SvrlRoot, KnownByNamespaceWhateverThePrefix) {
  struct Case { const char* head; bool report; };
  for (const Case& c : std::initializer_list<Case>{
           {kReport, true},
           {"\xEF\xBB\xBF<schematron-output xmlns='http://purl.oclc.org/dsdl/svrl'>", true},
           {"<?xml version='1.0'?><!DOCTYPE x><s:schematron-output a='1'\n"
            " xmlns:s = \"http://purl.oclc.org/dsdl/svrl\">", true},
           {"<schematron-output xmlns=\"urn:other\">", false},
           {"<svrl:schematron-output xmlns:x=\"http://purl.oclc.org/dsdl/svrl\">", false},
           {"<Invoice><!-- <svrl:schematron-output --></Invoice>", false},
           {"", false},
           {"<?xml version='1.0'?", false},
       })
    EXPECT_EQ(c.report, looksLikeSvrlReport(c.head)) << c.head;
}

TEST(ShardText, ReadsIndexSlashCount) {
  struct Case { const char* text; bool valid; size_t index, count; };
  for (const Case& c : std::initializer_list<Case>{
           {"0/1", true, 0, 1}, {"2/3", true, 2, 3}, {"3/3", false, 0, 0},
           {"1/0", false, 0, 0}, {"-1/2", false, 0, 0}, {"1", false, 0, 0},
           {"1/2x", false, 0, 0}, {"/2", false, 0, 0}, {"", false, 0, 0},
           {"999999/1000000", true, 999999, 1000000}, {"0/1000001", false, 0, 0},
           {"2/18446744073709551615", false, 0, 0},
           {"0/18446744073709551616", false, 0, 0}}) {
    auto shard = parseShard(c.text);
    EXPECT_EQ(c.valid, shard.has_value()) << c.text;
    if (shard && c.valid) {
      EXPECT_EQ(c.index, shard->index) << c.text;
      EXPECT_EQ(c.count, shard->count) << c.text;
    }
  }
}

TEST(ShardSlices, AreDisjointAndTogetherHoldEveryDocumentOnce) {
  for (size_t total : {0, 1, 7, 12}) {
    std::vector<InputDocument> all;
    for (size_t i = 0; i < total; ++i)
      all.push_back(InputDocument{u16("d" + std::to_string(i)), u"", false, "", u""});
    for (size_t count : {1, 3, 5}) {
      std::multiset<std::u16string> seen;
      for (size_t index = 0; index < count; ++index)
        for (const InputDocument& d : shardOf(all, Shard{index, count}))
          seen.insert(d.path);
      EXPECT_EQ(total, seen.size()) << total << " in " << count;
      for (const InputDocument& d : all)
        EXPECT_EQ(1u, seen.count(d.path)) << narrow(d.path);
    }
    // A count near the largest size never wraps the position round.
    const std::vector<InputDocument> slice = shardOf(all, Shard{2, SIZE_MAX});
    ASSERT_EQ(total > 2 ? 1u : 0u, slice.size()) << total;
    if (total > 2)
      EXPECT_EQ(u"d2", slice[0].path);
  }
}

TEST(ReportFolders, MirrorSubfoldersAndClashesAreFound) {
  const InputDocument top{u"in/a.xml", u"", true, "", u""};
  const InputDocument sub{u"in/sub/a.xml", u"sub", true, "", u""};
  const InputDocument named{u"elsewhere/a.xml", u"", false, "", u""};
  const InputDocument piped{u"/tmp/x/stdin.xml", u"", false, "stdin.xml", u"."};
  EXPECT_EQ(u".", reportFolderOf(piped, u""));  // standard input: the current folder
  EXPECT_EQ(u"out", reportFolderOf(piped, u"out"));
  EXPECT_EQ(u"", reportFolderOf(sub, u""));
  EXPECT_EQ(u"out", reportFolderOf(top, u"out"));
  EXPECT_EQ(u"out/sub", reportFolderOf(sub, u"out"));
  EXPECT_EQ("", reportClash({top, sub}, u"out"));
  EXPECT_EQ("", reportClash({top, named}, u""));  // beside their documents
  EXPECT_EQ("in/a.xml and elsewhere/a.xml", reportClash({top, sub, named}, u"out"));
}

}  // namespace
