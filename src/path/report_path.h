// Naming of the report that one stylesheet run writes.
#ifndef XSLVALIDATE_PATH_REPORT_PATH_H_
#define XSLVALIDATE_PATH_REPORT_PATH_H_

#include <string>
#include <string_view>

#include "path/path_text.h"

// The report path for running `stylesheetPath` over `inputPath`: the
// input's directory joined with input stem + "_" + stylesheet stem + input
// extension. Pure text work under `grammar`; never fails.
std::u16string deriveReportPath(std::u16string_view inputPath,
                                std::u16string_view stylesheetPath,
                                PathGrammar grammar = hostGrammar());

#endif  // XSLVALIDATE_PATH_REPORT_PATH_H_
