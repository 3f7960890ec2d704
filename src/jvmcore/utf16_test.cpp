#include "utf16.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8ToUtf16, DecodesWellFormedText) {
  struct Case {
    const char* bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"", u""},
      {"-s:/tmp/a b,c.xml", u"-s:/tmp/a b,c.xml"},
      {"M\xC3\xBCller", u"M\u00FCller"},
      {"\xE2\x82\xAC", u"\u20AC"},                              // three bytes
      {"\xEF\xBF\xBF", u"\uFFFF"},                              // last of the BMP
      {"g \xF0\x9D\x84\x9E", u"g \U0001D11E"},                  // surrogate pair
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},                      // last code point
  };
  for (const Case& c : cases) {
    auto text = utf8ToUtf16(c.bytes);
    ASSERT_TRUE(text.has_value()) << c.bytes;
    EXPECT_EQ(*text, c.text) << c.bytes;
  }
}

TEST(Utf8ToUtf16, RefusesIllFormedBytesInsteadOfReplacingThem) {
  const char* const cases[] = {
      "bad\xFF.xml",          // never a UTF-8 byte
      "\x80",                 // continuation without lead
      "\xC3",                 // truncated at the end
      "\xC3(",                // lead without continuation
      "\xC0\xAE",             // overlong '.'
      "\xE0\x80\xAF",         // overlong '/'
      "\xF0\x82\x82\xAC",     // overlong euro sign
      "\xED\xA0\x80",         // encoded surrogate (CESU-8 / modified UTF-8)
      "\xED\xA0\xB4\xED\xB4\x9E",  // surrogate pair in modified UTF-8
      "\xF4\x90\x80\x80",     // above U+10FFFF
      "\xF8\x88\x80\x80\x80", // five-byte form
  };
  for (const char* bytes : cases) EXPECT_FALSE(utf8ToUtf16(bytes).has_value()) << bytes;
}

TEST(Utf16ToUtf8, EncodesJavaTextAsPlainUtf8) {
  struct Case {
    std::u16string text;
    std::string bytes;
  } const cases[] = {
      {u"", ""},
      {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},  // NUL is one byte
      {u"M\u00FCller \u20AC", "M\xC3\xBCller \xE2\x82\xAC"},
      {u"g \U0001D11E", "g \xF0\x9D\x84\x9E"},             // four bytes, not six
      {std::u16string(1, u'\xD834') + u"x", "\xEF\xBF\xBDx"},  // lone high surrogate
      {std::u16string(1, u'\xDD1E'), "\xEF\xBF\xBD"},          // lone low surrogate
  };
  for (const Case& c : cases) EXPECT_EQ(c.bytes, utf16ToUtf8(c.text));
}

}  // namespace
