// Strict UTF-8 decoding, one sequence at a time: the one decoder behind
// the command-line arguments, the engine's file names and the verdict's
// JSON strings, which differ only in what they do with bytes it refuses.
#ifndef XSLVALIDATE_TEXT_UTF8_DECODE_H_
#define XSLVALIDATE_TEXT_UTF8_DECODE_H_

#include <cstddef>
#include <string>
#include <string_view>

// Length (1 to 4) of the well-formed UTF-8 sequence at the start of
// `bytes`, storing its code point in `*code`; 0, leaving `*code` alone,
// when `bytes` is empty or does not start with one: a continuation byte or
// C0, C1, F5..FF as lead, a missing continuation byte, an overlong form, an
// encoded surrogate (U+D800..U+DFFF) or a value above U+10FFFF.
inline std::size_t decodeUtf8Sequence(std::string_view bytes, char32_t* code) {
  if (bytes.empty()) return 0;
  const unsigned char lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
  std::size_t length;
  char32_t value;
  char32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char next = static_cast<unsigned char>(bytes[k]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code = value;
  return length;
}

// Appends `code` (a code point that decodeUtf8Sequence gives) to `text` in
// UTF-16: one unit, or a surrogate pair above U+FFFF.
inline void appendUtf16(std::u16string* text, char32_t code) {
  if (code < 0x10000) {
    text->push_back(static_cast<char16_t>(code));
  } else {
    code -= 0x10000;
    text->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    text->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
  }
}

#endif  // XSLVALIDATE_TEXT_UTF8_DECODE_H_
