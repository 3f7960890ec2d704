// Path text as the verdict shows it to a person or a program.
#ifndef XSLVALIDATE_VERDICT_SHOWN_H_
#define XSLVALIDATE_VERDICT_SHOWN_H_

#include <string>
#include <string_view>

// `text` as UTF-8 for output: a lone surrogate, which has no UTF-8 form on
// Windows, is shown as U+FFFD. Only for what is printed, never for a name
// handed to the file system or the engine.
std::string shown(std::u16string_view text);

#endif  // XSLVALIDATE_VERDICT_SHOWN_H_
