// Report naming:
//   report = join(parentPath(input),
//                 stem(input) + "_" + stem(stylesheet) + extension(input)).
#include "path/report_path.h"

namespace {

std::u16string_view part(std::u16string_view text, Stretch s) {
  return text.substr(s.start, s.end - s.start);
}

}  // namespace

std::u16string deriveReportPath(std::u16string_view inputPath,
                                std::u16string_view stylesheetPath,
                                PathGrammar grammar) {
  const PathText text{grammar};
  std::u16string name(part(inputPath, text.stem(inputPath)));
  name += u'_';
  name += part(stylesheetPath, text.stem(stylesheetPath));
  name += part(inputPath, text.extension(inputPath));
  return text.join(part(inputPath, text.parentPath(inputPath)), name);
}
