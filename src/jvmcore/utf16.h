// Strict UTF-8 decoding for strings that cross into the JVM.
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

#endif  // XSLVALIDATE_JVMCORE_UTF16_H_
