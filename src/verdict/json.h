// JSON text for the verdict's --json output.
#ifndef XSLVALIDATE_VERDICT_JSON_H_
#define XSLVALIDATE_VERDICT_JSON_H_

#include <string>
#include <string_view>

// `bytes` as a JSON string literal, quotes included. Well-formed UTF-8
// passes unchanged except for the quote, the backslash and the control
// characters U+0000..U+001F and U+007F, which are escaped. Each byte that
// is not part of a well-formed UTF-8 sequence (a file name on Linux may
// hold any bytes) is written \udcXX, the lone surrogate U+DC00 + byte, as
// the tool itself reads such bytes; no input makes invalid JSON text.
std::string jsonString(std::string_view bytes);

// Length of the well-formed UTF-8 sequence starting at `text[i]` (1 to 4),
// or 0 when the bytes there are not one.
size_t utf8SequenceLength(std::string_view text, size_t i);

// The code point of the well-formed UTF-8 sequence of `length` bytes at
// `text[i]` (as utf8SequenceLength measured it).
char32_t utf8CodePoint(std::string_view text, size_t i, size_t length);

#endif  // XSLVALIDATE_VERDICT_JSON_H_
