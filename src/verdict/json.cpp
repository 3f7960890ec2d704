#include "verdict/json.h"

#include "text/utf8_decode.h"

namespace {

void appendEscape(std::string* out, unsigned code) {
  static const char digits[] = "0123456789abcdef";
  *out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4)
    *out += digits[(code >> shift) & 15];
}

}  // namespace

std::string jsonString(std::string_view bytes) {
  std::string out = "\"";
  for (size_t i = 0; i < bytes.size();) {
    char32_t code;
    const size_t length = decodeUtf8Sequence(bytes.substr(i), &code);
    if (length == 0) {
      appendEscape(&out, 0xDC00 + static_cast<unsigned char>(bytes[i]));
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(bytes.substr(i, length));
      i += length;
      continue;
    }
    char c = bytes[i++];
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
          appendEscape(&out, static_cast<unsigned char>(c));
        else
          out += c;
    }
  }
  out += '"';
  return out;
}
