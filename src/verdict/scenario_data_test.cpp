// A scenario configuration's texts stay data: the match stylesheet is
// written by the XML writer, prefixes must be NCNames, and a resource's
// location leads to a file inside its repository or is refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "verdict/resource_location.h"
#include "verdict/scenarios.h"
#include "verdict/shown.h"
#include "verdict/xml_writer.h"

namespace {

namespace fs = std::filesystem;

TEST(XmlNames, NcNamesAsNamespacesDefineThem) {
  struct Case { const char* text; bool ncName; };
  for (const Case& c : std::initializer_list<Case>{
           {"p", true}, {"cbc", true}, {"_x-1.2", true}, {"\xC3\xA9t\xC3\xA9", true},
           {"", false}, {"1p", false}, {"-p", false}, {"p:q", false}, {"p q", false},
           {"p=\"urn:p\" test=\"false()\"/><when", false}, {"p\n", false},
           {"\xFF", false}}) {
    EXPECT_EQ(c.ncName, isNcName(c.text)) << c.text;
  }
}

TEST(MatchStylesheet, BindingsAndMatchesAreWrittenAsValues) {
  // A match holding quotes, markup and line ends stays one attribute value.
  const std::string xpath = "false()\" test=\"true()\"/><when test=\"true()\n";
  const std::string text = matchStylesheetText({{{{"p", "urn:p&\"x\""}}, xpath}});
  EXPECT_NE(std::string::npos,
            text.find("<when xmlns:p=\"urn:p&amp;&quot;x&quot;\" test=\"false()&quot; "
                      "test=&quot;true()&quot;/&gt;&lt;when test=&quot;true()&#10;\">1</when>"))
      << text;
  // What the writer cannot write as data is not written at all.
  struct Case { const char* name; ScenarioMatch match; };
  for (const Case& c : std::initializer_list<Case>{
           {"prefix with markup",
            {{{"p=\"urn:p\" test=\"false()\"/><when test=\"true()\"><x", "urn:p"}}, "true()"}},
           {"empty prefix", {{{"", "urn:p"}}, "true()"}},
           {"xmlns prefix", {{{"xmlns", "urn:p"}}, "true()"}},
           {"URI with NUL", {{{"p", std::string("urn:p\0x", 7)}}, "true()"}},
           {"no URI", {{{"p", ""}}, "true()"}},
           {"match with ESC", {{}, "true()\x1b"}}}) {
    EXPECT_EQ("", matchStylesheetText({c.match})) << c.name;
  }
}

class LocationTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/xslvalidate-location-test-XXXXXX";
    top = mkdtemp(name);
    fs::create_directories(top + "/repo/rules");
    fs::create_directories(top + "/outside");
    std::ofstream(top + "/repo/rules/a.xsl") << "x";
    std::ofstream(top + "/outside/b.xsl") << "x";
    fs::create_directory_symlink(top + "/outside", top + "/repo/out");
    fs::create_symlink(top + "/repo/rules/a.xsl", top + "/repo/alias.xsl");
  }
  void TearDown() override { fs::remove_all(top); }
  std::string top;
};

TEST_F(LocationTest, InsideTheRepositoryOrRefusedWithTheReason) {
  struct Case { const char* location; const char* refused; const char* path; };
  for (const Case& c : std::initializer_list<Case>{
           {"rules/a.xsl", "", "repo/rules/a.xsl"},
           {"rules%2Fa.xsl", "", "repo/rules/a.xsl"},
           {"./rules/../rules/a.xsl", "", "repo/./rules/../rules/a.xsl"},
           {"alias.xsl", "", "repo/alias.xsl"},
           {"rules/missing.xsl", "", "repo/rules/missing.xsl"},
           {"rules/a.xsl%00junk", "control character U+0000", nullptr},
           {"rules/a%0A.xsl", "control character U+000A", nullptr},
           {"rules/a%C2%85.xsl", "control character U+0085", nullptr},
           {"rules/a%FF.xsl", "not UTF-8", nullptr},
           {"../outside/b.xsl", "access denied", nullptr},
           {"rules/../../outside/b.xsl", "access denied", nullptr},
           {"%2E%2E/outside/b.xsl", "access denied", nullptr},
           {"out/b.xsl", "access denied", nullptr},
           {"/etc/passwd", "access denied: it is an absolute path", nullptr}}) {
    SCOPED_TRACE(c.location);
    const ResolvedLocation resolved = resolveLocation(fromUtf8(top + "/repo"), c.location);
    if (*c.refused == '\0') {
      EXPECT_EQ("", resolved.refused);
      EXPECT_EQ(top + "/" + c.path, shown(resolved.path));
    } else {
      EXPECT_NE(std::string::npos, resolved.refused.find(c.refused)) << resolved.refused;
    }
  }
}

}  // namespace
