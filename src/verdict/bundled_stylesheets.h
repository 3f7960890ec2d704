// The stylesheets bundled with the verdict, compiled into the program so
// that it needs no file beside it.
#ifndef XSLVALIDATE_VERDICT_BUNDLED_STYLESHEETS_H_
#define XSLVALIDATE_VERDICT_BUNDLED_STYLESHEETS_H_

#include <string_view>

// The bytes of src/verdict/summary.xsl: a report as a line summary.
std::string_view summaryStylesheet();

// The bytes of src/verdict/scenarios.xsl: a scenario configuration as a
// line summary.
std::string_view scenariosStylesheet();

// The bytes of src/verdict/contexts.xsl: the namespaces a rule set's rule
// contexts name, read from the rule set itself.
std::string_view contextsStylesheet();

// The bytes of src/verdict/report_input.xsl: the input of a configuration's
// report stylesheet, made from the verdict's outline of it.
std::string_view reportInputStylesheet();

// The bytes of src/verdict/explanation.xsl: a validation report's HTML
// explanation as a page of its own.
std::string_view explanationStylesheet();

// The bytes of src/verdict/page.xsl: what the page shows of the document
// itself (its identification, where each finding is), as a line summary.
std::string_view pageFactsStylesheet();

#endif  // XSLVALIDATE_VERDICT_BUNDLED_STYLESHEETS_H_
