#include "host/arguments.h"

#include "text/utf8_decode.h"

std::u16string decodeArgument(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    char32_t c;
    const size_t length = decodeUtf8Sequence(bytes, &c);
    if (length == 0) {
      text.push_back(static_cast<char16_t>(
          0xDC00 + static_cast<unsigned char>(bytes[0])));
      bytes.remove_prefix(1);
      continue;
    }
    appendUtf16(&text, c);
    bytes.remove_prefix(length);
  }
  return text;
}
