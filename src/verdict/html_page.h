// One document's outcome as a self-contained HTML page for people: a
// clerk can send it to the supplier as it is.
#ifndef XSLVALIDATE_VERDICT_HTML_PAGE_H_
#define XSLVALIDATE_VERDICT_HTML_PAGE_H_

#include <string>
#include <string_view>

#include "verdict/result.h"

// The page: verdict, document, scenario, the reason when there is no
// verdict (with what the engine wrote), the schema step's findings with
// line and column, and per rule set its findings with severity, rule id,
// message and location. Styles are inline; there is no script, and the
// page's content security policy forbids loading anything, so it shows
// the same offline. Every text is escaped.
std::string htmlPage(const DocumentResult& result);

// The page's file name for the document at `document`: the document's
// file name with ".html" added.
std::u16string htmlPageName(std::u16string_view document);

#endif  // XSLVALIDATE_VERDICT_HTML_PAGE_H_
