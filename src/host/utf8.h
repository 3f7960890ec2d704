// Path text as UTF-8 bytes, the only form in which the engine takes file
// names.
#ifndef XSLVALIDATE_HOST_UTF8_H_
#define XSLVALIDATE_HOST_UTF8_H_

#include <optional>
#include <string>
#include <string_view>

// The UTF-8 bytes of UTF-16 path text; empty text gives empty bytes.
//
// On POSIX hosts a lone surrogate U+DC80..U+DCFF stands for the raw byte
// 0x80..0xFF that it was decoded from (see host/arguments.h) and turns back
// into that byte, so a file name that is not valid UTF-8 keeps its exact
// bytes; any other lone surrogate is written in the three-byte form that a
// lenient encoder gives it. Always gives a value there.
//
// On Windows, text that is not well-formed UTF-16 (a lone surrogate) names
// a file that no UTF-8 text names: gives no value, never a substitute.
std::optional<std::string> toUtf8(std::u16string_view text);

#endif  // XSLVALIDATE_HOST_UTF8_H_
