#include "verdict/summary_line.h"

#include <gtest/gtest.h>

namespace {

TEST(SummaryHead, SvrlSchemaReportOrTheRootElementOfAnotherReport) {
  SummaryHead head;
  ASSERT_TRUE(parseSummaryHead("svrl\t12", &head));
  EXPECT_TRUE(head.svrl);
  EXPECT_EQ(12, head.firedRules);
  ASSERT_TRUE(parseSummaryHead("schema-report\tfalse", &head));
  EXPECT_FALSE(head.svrl);
  EXPECT_TRUE(head.schemaReport);
  EXPECT_FALSE(head.valid);
  ASSERT_TRUE(parseSummaryHead("not-svrl\t{http://www.w3.org/1999/xhtml}html", &head));
  EXPECT_FALSE(head.svrl);
  EXPECT_FALSE(head.schemaReport);
  EXPECT_EQ("{http://www.w3.org/1999/xhtml}html", head.rootName);
  EXPECT_TRUE(head.namespaces.empty());
  // A document's head lists the namespaces of its elements, the empty one too.
  ASSERT_TRUE(parseSummaryHead("not-svrl\t{urn:a}r\turn:a\t\turn:b\\t", &head));
  EXPECT_EQ("{urn:a}r", head.rootName);
  EXPECT_EQ((std::vector<std::string>{"urn:a", "", "urn:b\t"}), head.namespaces);
  for (const char* bad : {"", "svrl", "svrl\t", "svrl\t-1", "svrl\t1x", "SVRL\t1",
                          "schema-report\tyes", "not-svrl", "svrl\t1\turn:a", "not-svrl\ta\t\\x",
                          "not-svrl\t\\x"})
    EXPECT_FALSE(parseSummaryHead(bad, &head)) << bad;
}

TEST(SchemaFindingLine, SeverityLineColumnAndText) {
  SchemaFinding f;
  ASSERT_TRUE(parseSchemaFindingLine("schema\terror\t12\t7\tcvc-complex-type.2.4.a: \\n", &f));
  EXPECT_EQ("error", f.severity);
  EXPECT_EQ(12, f.line);
  EXPECT_EQ(7, f.column);
  EXPECT_EQ("cvc-complex-type.2.4.a: \n", f.text);
  ASSERT_TRUE(parseSchemaFindingLine("schema\tfatal\t\t\tno position", &f));
  EXPECT_EQ(0, f.line);
  for (const char* bad : {"schema\terror\t1\t2", "schema\terror\tx\t2\tt",
                          "svrl\terror\t1\t2\tt", "schema\terror\t1\t-2\tt"})
    EXPECT_FALSE(parseSchemaFindingLine(bad, &f)) << bad;
}

TEST(FindingLine, FieldsUnescapedAndAbsentAttributesKeptApart) {
  Finding f;
  ASSERT_TRUE(parseFindingLine(
      "failed-assert\tBR-01\tfatal\t/Invoice[1]\texists(x)\tline\\none\\ttab \\\\n \\r", &f));
  EXPECT_EQ("failed-assert", f.kind);
  EXPECT_EQ("BR-01", f.id.value());
  EXPECT_EQ("fatal", f.flag.value());
  EXPECT_EQ("/Invoice[1]", f.location.value());
  EXPECT_EQ("exists(x)", f.test.value());
  EXPECT_EQ("line\none\ttab \\n \r", f.text);

  ASSERT_TRUE(parseFindingLine("successful-report\t\\-\t\t\\-\t\\-\tÜber €", &f));
  EXPECT_EQ("successful-report", f.kind);
  EXPECT_FALSE(f.id.has_value());
  EXPECT_EQ("", f.flag.value());  // present but empty
  EXPECT_FALSE(f.location.has_value());
  EXPECT_FALSE(f.test.has_value());
  EXPECT_EQ("Über €", f.text);
}

TEST(FindingLine, MalformedLinesRefused) {
  Finding f;
  for (const char* bad : {
           "", "failed-assert\ta\tb\tc\td",            // five fields
           "failed-assert\ta\tb\tc\td\te\tf",          // seven fields
           "fired-rule\ta\tb\tc\td\te",                // not a finding
           "failed-assert\ta\tb\tc\td\tends in \\",    // lone backslash
           "failed-assert\ta\\q\tb\tc\td\te",          // unknown escape
       })
    EXPECT_FALSE(parseFindingLine(bad, &f)) << bad;
}

// Flags compare without case and Unicode white space around them; a flag
// the verdict does not know, or none, counts as an error, so that it can
// never let a document pass.
TEST(Severity, FlagNormalizedAndUnknownOrMissingFlagIsAnError) {
  struct Case { std::optional<std::string> flag; const char* severity; };
  for (const Case& c : std::initializer_list<Case>{
           {"fatal", "fatal"}, {"WARNING", "warning"}, {"Information", "information"},
           {" fatal", "fatal"}, {"fatal\n", "fatal"}, {"ERROR\u00A0", "error"},
           {"\u3000\u2028 Warning\t\u200A", "warning"}, {"\u0085information", "information"},
           {"caution", "error"}, {"war ning", "error"}, {"warning\u200B", "error"},
           {"\x1b[0mwarning", "error"}, {std::nullopt, "error"}, {"", "error"},
           {" \n", "error"}}) {
    Finding f;
    f.flag = c.flag;
    EXPECT_EQ(c.severity, severityOf(f)) << c.flag.value_or("(none)");
  }
  EXPECT_EQ("war\xffning", normalizedFlag(" WAR\xffning\u00A0"));
}

TEST(Severity, WhatRejects) {
  struct Case { const char* severity; bool plain; bool warningsAsErrors; };
  for (const Case& c : std::initializer_list<Case>{
           {"fatal", true, true}, {"error", true, true}, {"warning", false, true},
           {"information", false, false}}) {
    EXPECT_EQ(c.plain, rejects(c.severity, false)) << c.severity;
    EXPECT_EQ(c.warningsAsErrors, rejects(c.severity, true)) << c.severity;
  }
}

// Nothing a report holds reaches the terminal as a control or starts a
// new line in the text output.
TEST(MessageText, ControlCharactersMadeVisible) {
  struct Case { const char* text; const char* shown; };
  for (const Case& c : std::initializer_list<Case>{
           {"R1\naccepted: d.xml", "R1\\naccepted: d.xml"},
           {"a\rb\tc", "a\\rb\\tc"},
           {"\x1b[2Jbell\x07", "\\x1B[2Jbell\\x07"},
           {"del\x7f", "del\\x7F"},
           {"csi\u009b1m nel\u0085", "csi\\u009B1m nel\\u0085"},
           {"ls\u2028ps\u2029", "ls\\u2028ps\\u2029"},
           {"raw \xff byte", "raw \\xFF byte"},
           {"Müller € 𝄞 C:\\temp", "Müller € 𝄞 C:\\temp"}}) {
    EXPECT_EQ(c.shown, visible(c.text)) << c.text;
  }
  EXPECT_EQ("a b \\x1B[31m c", oneLine(" a\n b\t\x1b[31m\r\n c "));
}

TEST(MessageText, OneLineForPeopleTrimmedForPrograms) {
  const std::string text = "\n   [BR-01] Zeile eins\r\n\t   zwei  ü \n  ";
  EXPECT_EQ("[BR-01] Zeile eins zwei ü", oneLine(text));
  EXPECT_EQ("[BR-01] Zeile eins\r\n\t   zwei  ü", trimmed(text));
  EXPECT_EQ("", oneLine(" \n\t"));
  EXPECT_EQ("", trimmed(" \n\t"));
}

}  // namespace
