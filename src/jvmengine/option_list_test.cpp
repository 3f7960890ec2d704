#include "option_list.h"

#include <gtest/gtest.h>

namespace {

TEST(OptionList, KeepsOptionsInOrderPerHandle) {
  const long long first = newOptionList(3);
  const long long second = newOptionList(3);
  EXPECT_NE(first, 0);
  EXPECT_NE(first, second);
  EXPECT_TRUE(appendOption(first, "-s:a.xml"));
  EXPECT_TRUE(appendOption(second, "-s:other.xml"));
  EXPECT_TRUE(appendOption(first, "-xsl:b.xsl"));
  EXPECT_TRUE(appendOption(first, "-o:c.xml"));
  EXPECT_TRUE(appendOption(first, "-extra"));  // capacity is room, not a limit
  EXPECT_EQ(takeOptions(first), (std::vector<std::string>{"-s:a.xml", "-xsl:b.xsl", "-o:c.xml", "-extra"}));
  EXPECT_EQ(takeOptions(second), (std::vector<std::string>{"-s:other.xml"}));
  // Taken once: a long-lived caller does not keep every run's options.
  EXPECT_FALSE(takeOptions(first).has_value());
  EXPECT_FALSE(appendOption(second, "-s:again.xml"));
}

TEST(OptionList, UnknownHandlesAreRefused) {
  EXPECT_FALSE(appendOption(0, "-s:a.xml"));
  EXPECT_FALSE(appendOption(-7, "-s:a.xml"));
  EXPECT_FALSE(takeOptions(0).has_value());
  EXPECT_FALSE(takeOptions(newOptionList(0) + 1000).has_value());
  EXPECT_EQ(takeOptions(newOptionList(-5)), std::vector<std::string>{});
}

}  // namespace
