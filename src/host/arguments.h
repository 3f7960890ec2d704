// Command-line arguments as the tool's UTF-16 path text.
#ifndef XSLVALIDATE_HOST_ARGUMENTS_H_
#define XSLVALIDATE_HOST_ARGUMENTS_H_

#include <string>
#include <string_view>

// Decodes one argument that arrived as bytes (POSIX hosts) as UTF-8 into
// UTF-16. A byte that is not part of a well-formed UTF-8 sequence becomes
// the lone surrogate U+DC00 + byte, which `toUtf8` turns back into that
// byte, so any byte string survives the round trip exactly. Never fails.
std::u16string decodeArgument(std::string_view bytes);

#endif  // XSLVALIDATE_HOST_ARGUMENTS_H_
