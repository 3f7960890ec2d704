// Strict UTF-8 decoding for strings that cross into the JVM, and UTF-8
// for the texts that come out of it.
#ifndef XSLVALIDATE_JVMCORE_UTF16_H_
#define XSLVALIDATE_JVMCORE_UTF16_H_

#include <optional>
#include <string>
#include <string_view>

// The UTF-16 text of well-formed UTF-8 `bytes` (characters outside the
// Basic Multilingual Plane become surrogate pairs). Returns nullopt for any
// ill-formed input: a stray or missing continuation byte, an overlong form,
// an encoded surrogate (U+D800..U+DFFF) or a value above U+10FFFF. Nothing is
// ever replaced, so the text names exactly the file that the bytes name.
std::optional<std::u16string> utf8ToUtf16(std::string_view bytes);

// The UTF-8 text of UTF-16 `text`, for messages: a lone surrogate (which
// Java strings may hold) becomes U+FFFD. Unlike the JVM's modified UTF-8,
// NUL is one byte and characters outside the Basic Multilingual Plane are
// four.
std::string utf16ToUtf8(std::u16string_view text);

#endif  // XSLVALIDATE_JVMCORE_UTF16_H_
