// Path text as the verdict shows it to a person or a program.
#ifndef XSLVALIDATE_VERDICT_SHOWN_H_
#define XSLVALIDATE_VERDICT_SHOWN_H_

#include <string>
#include <string_view>

// `text` as UTF-8 for output: a lone surrogate, which has no UTF-8 form on
// Windows, is shown as U+FFFD. Only for what is printed, never for a name
// handed to the file system or the engine.
std::string shown(std::u16string_view text);

// Well-formed UTF-8 text (as the engine writes it) as the tool's UTF-16
// path text. A byte that is not part of a well-formed sequence becomes
// U+FFFD.
std::u16string fromUtf8(std::string_view bytes);

#endif  // XSLVALIDATE_VERDICT_SHOWN_H_
