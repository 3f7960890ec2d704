// What the page tells a supplier beyond the check: the invoice's
// identification, and where in the document each rule finding is (line,
// column, value), read from the document itself through the engine with
// the bundled page stylesheet (page.xsl); and each rule set's name.
#ifndef XSLVALIDATE_VERDICT_PAGE_FACTS_H_
#define XSLVALIDATE_VERDICT_PAGE_FACTS_H_

#include <string>
#include <string_view>

#include "verdict/check.h"
#include "verdict/result.h"

// Adds the page's facts to `result`, a document checked under `plan`:
// each rule set's name, and, unless the document was found not to be XML,
// its identification and its rule findings' lines, columns and values
// (one more engine run, of the worker's bundled page stylesheet). A
// run that fails leaves them out (identity nullopt), and adds what the
// engine wrote to the result's engine messages; the check's outcome never
// changes.
// Whether `result` needs the page's facts beyond the page: where this
// host's engine gives lines, a document with rule findings gets them so
// that every output form tells each finding's line and column.
bool wantsPageFacts(const CheckPlan& plan, const DocumentResult& result);

void addPageFacts(const CheckPlan& plan, CheckWorker* worker, std::u16string_view document,
                  DocumentResult* result);

#endif  // XSLVALIDATE_VERDICT_PAGE_FACTS_H_
