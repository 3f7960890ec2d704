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


#endif  // XSLVALIDATE_VERDICT_JSON_H_
