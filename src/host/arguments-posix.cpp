#include "host/arguments.h"

namespace {

// Length of the well-formed UTF-8 sequence at the start of `s`, storing its
// code point; 0 when the first byte does not start one. Overlong forms,
// surrogates and values above U+10FFFF are not well-formed.
size_t decodeSequence(std::string_view s, char32_t* code) {
  unsigned char b0 = static_cast<unsigned char>(s[0]);
  size_t length;
  char32_t c;
  char32_t min;
  if (b0 < 0x80) {
    *code = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2; c = b0 & 0x1F; min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3; c = b0 & 0x0F; min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4; c = b0 & 0x07; min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < length)
    return 0;
  for (size_t i = 1; i < length; ++i) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80)
      return 0;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
    return 0;
  *code = c;
  return length;
}

}  // namespace

std::u16string decodeArgument(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    char32_t c;
    size_t length = decodeSequence(bytes, &c);
    if (length == 0) {
      text.push_back(static_cast<char16_t>(
          0xDC00 + static_cast<unsigned char>(bytes[0])));
      bytes.remove_prefix(1);
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(c));
    }
    bytes.remove_prefix(length);
  }
  return text;
}
