// One document's outcome as a self-contained HTML page for people: a
// clerk can send it to the supplier as it is.
#ifndef XSLVALIDATE_VERDICT_HTML_PAGE_H_
#define XSLVALIDATE_VERDICT_HTML_PAGE_H_

#include <string>
#include <string_view>

#include "verdict/result.h"

// The page, for the supplier: verdict, the document's file name, scenario,
// the reason in words chosen by its code, the invoice's identification
// (when read for the page), the schema step's findings with line and
// column, and per rule set (headed by its name) its findings with
// severity (and the flag where it differs), rule id, line, column, message
// and value; a note where the engine gave no lines. It never shows a
// folder, a path, the check's own reason text or what the engine wrote:
// those may name server files and go to JSON and standard error. Styles
// are inline and fit a phone's width; there is no script, and the page's
// content security policy forbids loading anything, so it shows the same
// offline. Every text is escaped.
std::string htmlPage(const DocumentResult& result);

// The page's file name for the document at `document`: the document's
// file name with ".html" added.
std::u16string htmlPageName(std::u16string_view document);

#endif  // XSLVALIDATE_VERDICT_HTML_PAGE_H_
