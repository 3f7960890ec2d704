// Text for messages that must show a name exactly, whatever it holds.
#ifndef XSLVALIDATE_TEXT_ESCAPED_H_
#define XSLVALIDATE_TEXT_ESCAPED_H_

#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

namespace escaped_detail {

// `units` with every unit but printable ASCII other than the backslash
// written as `format` makes it (a printf format for one unsigned).
template <typename Unit>
std::string escapedUnits(std::basic_string_view<Unit> units, const char* format) {
  std::string text;
  for (Unit unit : units) {
    const auto value = static_cast<unsigned>(static_cast<std::make_unsigned_t<Unit>>(unit));
    if (value >= 0x20 && value < 0x7F && value != '\\') {
      text.push_back(static_cast<char>(value));
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, format, value);
      text += escape;
    }
  }
  return text;
}

}  // namespace escaped_detail

// `bytes` with everything but printable ASCII (and the backslash) written
// as \xNN, for names that may not be valid UTF-8.
inline std::string escaped(std::string_view bytes) {
  return escaped_detail::escapedUnits(bytes, "\\x%02X");
}

// `text` with everything but printable ASCII (and the backslash) written as
// \uNNNN, one escape per UTF-16 unit, so a lone surrogate shows as itself.
inline std::string escaped(std::u16string_view text) {
  return escaped_detail::escapedUnits(text, "\\u%04X");
}

#endif  // XSLVALIDATE_TEXT_ESCAPED_H_
