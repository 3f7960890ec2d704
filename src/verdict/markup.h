// Text made safe for XML and HTML output (JUnit files, HTML pages, the
// stylesheets the verdict writes): the one escaping of that form.
#ifndef XSLVALIDATE_VERDICT_MARKUP_H_
#define XSLVALIDATE_VERDICT_MARKUP_H_

#include <string>
#include <string_view>

// `text` as XML 1.0 character data that may also stand in an attribute
// value: & < > " ' become references, and so do tab, line feed and
// carriage return, which a parser would otherwise turn into spaces in an
// attribute value (and CR LF into LF anywhere); a character XML 1.0
// cannot hold (any other control character) and every byte that is not
// part of well-formed UTF-8 become U+FFFD, so no input makes the file
// unreadable.
std::string markupText(std::string_view text);

#endif  // XSLVALIDATE_VERDICT_MARKUP_H_
