#include "host/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/arguments.h"

namespace {

TEST(Utf8Test, EncodesEveryPlane) {
  const std::vector<std::pair<std::u16string, std::string>> cases = {
      {u"", ""},
      {u"inv.xml", "inv.xml"},
      {u"\u00FC", "\xC3\xBC"},                      // two bytes
      {u"\u20AC", "\xE2\x82\xAC"},                  // three bytes
      {u"\U0001D11E", "\xF0\x9D\x84\x9E"},          // surrogate pair
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},          // last code point
      {u"\xDC80\xDCFF", "\x80\xFF"},                // escaped raw bytes
      {u"\xD800", "\xED\xA0\x80"},                  // lone high surrogate
  };
  for (const auto& [text, bytes] : cases)
    EXPECT_EQ(bytes, toUtf8(text));
}

TEST(Utf8Test, ArgumentBytesSurviveTheRoundTrip) {
  // Any byte string decodes to text that toUtf8 turns back into the same
  // bytes: invalid, truncated, overlong and surrogate sequences included.
  const std::vector<std::string> names = {
      "Rechnung_M\xC3\xBCller.xml", "g \xF0\x9D\x84\x9E/x.xml",
      "bad\xFF.xml",      "latin1-\xE9t\xE9.xml", "cut\xE2\x82",
      "overlong\xC0\xAF", "surrogate\xED\xA0\x80", "above\xF4\x90\x80\x80",
      "\x80\x81\x82",     "lone-cont\xBF"};
  for (const std::string& name : names)
    EXPECT_EQ(name, toUtf8(decodeArgument(name))) << name;
}

TEST(ArgumentsTest, DecodesUtf8AndEscapesOnlyInvalidBytes) {
  EXPECT_EQ(u"Rechnung_M\u00FCller.xml",
            decodeArgument("Rechnung_M\xC3\xBCller.xml"));
  EXPECT_EQ(u"\U0001D11E", decodeArgument("\xF0\x9D\x84\x9E"));
  EXPECT_EQ(u"a\xDCFF" u"b", decodeArgument("a\xFF" "b"));
  // A truncated sequence escapes its bytes one by one and resynchronises.
  EXPECT_EQ(u"\xDCE2\xDC82x", decodeArgument("\xE2\x82x"));
  // Overlong forms and encoded surrogates are not valid UTF-8.
  EXPECT_EQ(u"\xDCC0\xDCAF", decodeArgument("\xC0\xAF"));
  EXPECT_EQ(u"\xDCED\xDCA0\xDC80", decodeArgument("\xED\xA0\x80"));
}

}  // namespace
