#include "verdict/markup.h"

#include "text/utf8_decode.h"

std::string markupText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t code;
    const size_t length = decodeUtf8Sequence(text.substr(i), &code);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (length > 1) {
      // U+FFFE and U+FFFF are not XML characters either.
      const std::string_view sequence = text.substr(i, length);
      out += sequence == "\xEF\xBF\xBE" || sequence == "\xEF\xBF\xBF" ? "\xEF\xBF\xBD"
                                                                       : std::string(sequence);
      i += length;
      continue;
    }
    const char c = text[i++];
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20)
          out += "\xEF\xBF\xBD";
        else
          out += c;
    }
  }
  return out;
}
