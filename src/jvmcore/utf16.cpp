#include "utf16.h"

#include "text/utf8_decode.h"

std::optional<std::u16string> utf8ToUtf16(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    char32_t code;
    const std::size_t length = decodeUtf8Sequence(bytes, &code);
    if (length == 0) return std::nullopt;
    appendUtf16(&text, code);
    bytes.remove_prefix(length);
  }
  return text;
}
