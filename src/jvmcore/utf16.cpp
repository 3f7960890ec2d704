#include "utf16.h"

std::optional<std::u16string> utf8ToUtf16(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      text.push_back(lead);
      ++i;
      continue;
    }
    int length;
    char32_t code;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
      return std::nullopt;  // continuation byte, C0/C1 or F5..FF as lead
    }
    if (bytes.size() - i < static_cast<size_t>(length)) return std::nullopt;
    for (int k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return std::nullopt;
    if (code < 0x10000) {
      text.push_back(static_cast<char16_t>(code));
    } else {
      code -= 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    }
    i += length;
  }
  return text;
}
