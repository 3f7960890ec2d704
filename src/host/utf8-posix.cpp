#include "host/utf8.h"

namespace {

void appendCodePoint(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::optional<std::string> toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (isHighSurrogate(u) && i + 1 < text.size() &&
        isLowSurrogate(text[i + 1])) {
      char32_t c = 0x10000 + ((char32_t(u) - 0xD800) << 10) +
                   (char32_t(text[i + 1]) - 0xDC00);
      appendCodePoint(&out, c);
      ++i;
    } else if (u >= 0xDC80 && u <= 0xDCFF) {
      // An escaped raw byte of a file name that was not valid UTF-8.
      out.push_back(static_cast<char>(u - 0xDC00));
    } else {
      appendCodePoint(&out, u);
    }
  }
  return out;
}
