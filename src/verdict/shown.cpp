#include "verdict/shown.h"

#include <optional>

#include "host/utf8.h"
#include "text/utf8_decode.h"

std::string shown(std::u16string_view text) {
  std::u16string whole(text);
  for (size_t i = 0; i < whole.size(); ++i) {
    const char16_t c = whole[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    const bool low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && i + 1 < whole.size() && whole[i + 1] >= 0xDC00 &&
        whole[i + 1] <= 0xDFFF) {
      ++i;
    } else if (high || low) {
      if (std::optional<std::string> bytes = toUtf8(text))
        return *bytes;  // POSIX hosts keep such text as raw bytes
      whole[i] = 0xFFFD;
    }
  }
  return toUtf8(whole).value_or(std::string());
}

std::u16string fromUtf8(std::string_view bytes) {
  std::u16string text;
  for (size_t i = 0; i < bytes.size();) {
    char32_t c = 0xFFFD;
    const size_t length = decodeUtf8Sequence(bytes.substr(i), &c);
    i += length ? length : 1;
    appendUtf16(&text, c);
  }
  return text;
}
