#include "verdict/page_summary.h"

#include <gtest/gtest.h>

namespace {

TEST(PageSummary, ReadsHeadIdentificationAndEachLocation) {
  PageFacts facts;
  ASSERT_TRUE(parsePageFacts(
      "page\t1\n"
      "id\tubl-invoice\tINV-1\t2024-01-31\tSeller\\tLtd\tBuyer\t100.00\tEUR\n"
      "at\t12\t17\t42\n"
      "at\t0\t0\t\\-\n"
      "at\t3\t5\t\n"
      "at\t7\t1\t\\\\-\n",
      &facts));
  EXPECT_TRUE(facts.sourceLines);
  EXPECT_EQ(facts.identity.number, "INV-1");
  EXPECT_EQ(facts.identity.seller, "Seller\tLtd");
  EXPECT_EQ(facts.identity.currency, "EUR");
  ASSERT_EQ(facts.at.size(), 4u);
  EXPECT_EQ(facts.at[0].line, 12);
  EXPECT_EQ(facts.at[0].column, 17);
  EXPECT_EQ(facts.at[0].value, "42");
  EXPECT_EQ(facts.at[1].line, 0);
  EXPECT_FALSE(facts.at[1].value);  // not a leaf, or not found
  EXPECT_EQ(facts.at[2].value, "");  // an empty leaf
  EXPECT_EQ(facts.at[3].value, "\\-");  // a value that is the two characters
}

TEST(PageSummary, OtherTextIsRefused) {
  for (const char* text : {
           "",
           "page\t1\n",                                        // no identification
           "page\t2\nid\t\t\t\t\t\t\t\n",                      // not 0 or 1
           "page\t0\nid\t\t\t\t\t\t\n",                        // a field short
           "page\t0\nid\t\t\t\t\t\t\t\nat\t1\t2\n",            // a field short
           "page\t0\nid\t\t\t\t\t\t\t\nat\tx\t2\tv\n",         // not a number
           "page\t0\nid\t\t\t\t\t\t\t\nat\t1\t2\tv",           // no line end
           "page\t0\nid\t\t\t\t\t\t\t\nat\t1\t2\t\\q\n",       // a bad escape
           "-s:doc.xml\n-xsl:page.xsl\n",                      // what a stand-in engine writes
       }) {
    PageFacts facts;
    EXPECT_FALSE(parsePageFacts(text, &facts)) << text;
  }
}

TEST(PageSummary, LocationsAreWrittenAsEscapedData) {
  std::vector<std::optional<std::vector<LocationStep>>> locations;
  locations.push_back(parseLocation("/*:a[namespace-uri()='u&\"<'][1]/@b"));
  locations.push_back(std::nullopt);
  const std::string xml = locationsXml(locations);
  EXPECT_NE(xml.find("<location><step kind=\"element\" space=\"uri\" uri=\"u&amp;&quot;&lt;\" "
                     "prefix=\"\" local=\"a\" position=\"1\"/><step kind=\"attribute\" "
                     "space=\"none\" uri=\"\" prefix=\"\" local=\"b\" position=\"0\"/></location>"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<location/>"), std::string::npos) << xml;
}

}  // namespace
