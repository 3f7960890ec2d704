#include "verdict/json.h"

size_t utf8SequenceLength(std::string_view text, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead < 0x80)
    return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no encoded surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size())
    return 0;
  if (byte(i + 1) < low || byte(i + 1) > high)
    return 0;
  for (size_t k = 2; k < length; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
      return 0;
  return length;
}

char32_t utf8CodePoint(std::string_view text, size_t i, size_t length) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
  if (length == 1)
    return byte(0);
  char32_t c = byte(0) & (0x7F >> length);
  for (size_t k = 1; k < length; ++k)
    c = (c << 6) | (byte(k) & 0x3F);
  return c;
}

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
    size_t length = utf8SequenceLength(bytes, i);
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
