#include "verdict/json.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonString, EscapesWhatJsonRequiresAndKeepsUtf8) {
  struct Case { std::string in; const char* out; };
  for (const Case& c : std::initializer_list<Case>{
           {"", R"("")"},
           {"plain /path", R"("plain /path")"},
           {"say \"hi\" \\ there", R"("say \"hi\" \\ there")"},
           {"a\nb\rc\td\be\ff", R"("a\nb\rc\td\be\ff")"},
           {std::string("nul\0x", 5), R"("nul\u0000x")"},
           {"\x01\x1f\x7f", R"("\u0001\u001f\u007f")"},
           {"Müller € 𝄞", "\"Müller € 𝄞\""},
       })
    EXPECT_EQ(c.out, jsonString(c.in)) << c.in;
}

TEST(JsonString, InvalidUtf8BytesBecomeLoneSurrogateEscapes) {
  struct Case { std::string in; const char* out; };
  for (const Case& c : std::initializer_list<Case>{
           {"a\xff" "b", R"("a\udcffb")"},
           {"\xc3", R"("\udcc3")"},                    // truncated sequence
           {"\xc3(", R"("\udcc3(")"},                  // bad continuation
           {"\xc0\xaf", R"("\udcc0\udcaf")"},          // overlong
           {"\xed\xa0\x80", R"("\udced\udca0\udc80")"},  // encoded surrogate
           {"\xf4\x90\x80\x80", R"("\udcf4\udc90\udc80\udc80")"},  // above U+10FFFF
           {"\xe2\x82", R"("\udce2\udc82")"},
       })
    EXPECT_EQ(c.out, jsonString(c.in));
}

}  // namespace
