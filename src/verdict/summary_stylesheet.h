// The bundled summary stylesheet (summary.xsl), compiled into the program.
#ifndef XSLVALIDATE_VERDICT_SUMMARY_STYLESHEET_H_
#define XSLVALIDATE_VERDICT_SUMMARY_STYLESHEET_H_

#include <string_view>

// The stylesheet's bytes, exactly as in src/verdict/summary.xsl.
std::string_view summaryStylesheet();

#endif  // XSLVALIDATE_VERDICT_SUMMARY_STYLESHEET_H_
