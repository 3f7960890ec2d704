// Text made safe for XML and HTML output (JUnit files, HTML pages).
#ifndef XSLVALIDATE_VERDICT_MARKUP_H_
#define XSLVALIDATE_VERDICT_MARKUP_H_

#include <string>
#include <string_view>

// `text` as XML 1.0 character data that may also stand in an attribute
// value: & < > " ' become references; a character XML 1.0 cannot hold (a
// control character other than tab, line feed and carriage return) and
// every byte that is not part of well-formed UTF-8 become U+FFFD, so no
// input makes the file unreadable.
std::string markupText(std::string_view text);

#endif  // XSLVALIDATE_VERDICT_MARKUP_H_
