// The hand-over of path text to the engine, which takes paths only as
// UTF-8 bytes.
#ifndef XSLVALIDATE_ENGINE_UTF8_H_
#define XSLVALIDATE_ENGINE_UTF8_H_

#include <string>
#include <string_view>

// The UTF-8 bytes of UTF-16 text; empty text gives empty bytes.
//
// On Windows the platform converts (ill-formed UTF-16 is the platform's to
// treat). On POSIX hosts a lone surrogate U+DC80..U+DCFF stands for the raw
// byte 0x80..0xFF that it was decoded from (see host/arguments.h) and turns
// back into that byte, so a file name that is not valid UTF-8 reaches the
// engine unchanged; any other lone surrogate is written in the three-byte
// form that a lenient encoder gives it. Never fails.
std::string toUtf8(std::u16string_view text);

#endif  // XSLVALIDATE_ENGINE_UTF8_H_
