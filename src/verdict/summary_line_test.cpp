#include "verdict/summary_line.h"

#include <gtest/gtest.h>

namespace {

TEST(SummaryHead, SvrlOrTheRootElementOfAnotherReport) {
  SummaryHead head;
  ASSERT_TRUE(parseSummaryHead("svrl", &head));
  EXPECT_TRUE(head.svrl);
  ASSERT_TRUE(parseSummaryHead("not-svrl\t{http://www.w3.org/1999/xhtml}html", &head));
  EXPECT_FALSE(head.svrl);
  EXPECT_EQ("{http://www.w3.org/1999/xhtml}html", head.rootName);
  for (const char* bad : {"", "svrl\t", "SVRL", "not-svrl", "not-svrl\ta\tb", "not-svrl\t\\x"})
    EXPECT_FALSE(parseSummaryHead(bad, &head)) << bad;
}

TEST(FindingLine, FieldsUnescapedAndAbsentAttributesKeptApart) {
  Finding f;
  ASSERT_TRUE(parseFindingLine(
      "failed-assert\tBR-01\tfatal\t/Invoice[1]\tline\\none\\ttab \\\\n \\r", &f));
  EXPECT_EQ("failed-assert", f.kind);
  EXPECT_EQ("BR-01", f.id.value());
  EXPECT_EQ("fatal", f.flag.value());
  EXPECT_EQ("/Invoice[1]", f.location.value());
  EXPECT_EQ("line\none\ttab \\n \r", f.text);

  ASSERT_TRUE(parseFindingLine("successful-report\t\\-\t\t\\-\tÜber €", &f));
  EXPECT_EQ("successful-report", f.kind);
  EXPECT_FALSE(f.id.has_value());
  EXPECT_EQ("", f.flag.value());  // present but empty
  EXPECT_FALSE(f.location.has_value());
  EXPECT_EQ("Über €", f.text);
}

TEST(FindingLine, MalformedLinesRefused) {
  Finding f;
  for (const char* bad : {
           "", "failed-assert\ta\tb\tc",              // four fields
           "failed-assert\ta\tb\tc\td\te",            // six fields
           "fired-rule\ta\tb\tc\td",                  // not a finding
           "failed-assert\ta\tb\tc\tends in \\",      // lone backslash
           "failed-assert\ta\\q\tb\tc\td",            // unknown escape
       })
    EXPECT_FALSE(parseFindingLine(bad, &f)) << bad;
}

TEST(Severity, FlagLowerCasedAndNoFlagIsAnError) {
  struct Case { std::optional<std::string> flag; const char* severity; };
  for (const Case& c : std::initializer_list<Case>{
           {"fatal", "fatal"}, {"WARNING", "warning"}, {"Information", "information"},
           {"caution", "caution"}, {std::nullopt, "error"}, {"", "error"}}) {
    Finding f;
    f.flag = c.flag;
    EXPECT_EQ(c.severity, severityOf(f));
  }
}

TEST(Severity, WhatRejects) {
  struct Case { const char* severity; bool plain; bool warningsAsErrors; };
  for (const Case& c : std::initializer_list<Case>{
           {"fatal", true, true}, {"error", true, true}, {"warning", false, true},
           {"information", false, false}, {"caution", false, false}}) {
    EXPECT_EQ(c.plain, rejects(c.severity, false)) << c.severity;
    EXPECT_EQ(c.warningsAsErrors, rejects(c.severity, true)) << c.severity;
  }
}

TEST(MessageText, OneLineForPeopleTrimmedForPrograms) {
  const std::string text = "\n   [BR-01] Zeile eins\r\n\t   zwei  ü \n  ";
  EXPECT_EQ("[BR-01] Zeile eins zwei ü", oneLine(text));
  EXPECT_EQ("[BR-01] Zeile eins\r\n\t   zwei  ü", trimmed(text));
  EXPECT_EQ("", oneLine(" \n\t"));
  EXPECT_EQ("", trimmed(" \n\t"));
}

}  // namespace
