#include "engine/bridge.h"

#include <cstdio>
#include <optional>
#include <string>

#include "host/utf8.h"
#include "path/report_path.h"
#include "text/escaped.h"

namespace {

// The engine option `prefix` + the UTF-8 form of `path`; none, after one
// line on standard error, when the path has no UTF-8 form.
std::optional<std::string> option(const char* prefix,
                                  std::u16string_view path) {
  std::optional<std::string> bytes = toUtf8(path);
  if (!bytes) {
    std::fprintf(stderr,
                 "Cannot represent the file name in option %s%s: it is not "
                 "valid Unicode text, and the engine takes file names only "
                 "as UTF-8\n",
                 prefix, escaped(path).c_str());
    return std::nullopt;
  }
  return prefix + *bytes;
}

}  // namespace

int createIsolate(EngineEnvironment* environment) {
  if (graal_create_isolate(nullptr, &environment->isolate,
                           &environment->thread) != 0) {
    std::fprintf(stderr, "graal_create_isolate error\n");
    return 1;
  }
  return 0;
}

int runTransform(EngineEnvironment* environment, std::u16string_view inputPath,
                 std::u16string_view stylesheetPath) {
  return runTransformTo(environment, inputPath, stylesheetPath,
                        deriveReportPath(inputPath, stylesheetPath));
}

int runTransformTo(EngineEnvironment* environment,
                   std::u16string_view inputPath,
                   std::u16string_view stylesheetPath,
                   std::u16string_view outputPath) {
  std::optional<std::string> source = option("-s:", inputPath);
  if (!source)
    return 2;
  std::optional<std::string> stylesheet = option("-xsl:", stylesheetPath);
  if (!stylesheet)
    return 2;
  std::optional<std::string> output = option("-o:", outputPath);
  if (!output)
    return 2;

  long long processorData =
      createProcessorDataWithCapacity(environment->thread, 3);
  // The engine copies nothing we rely on before the run, so the option
  // strings live until j_run_transform has returned.
  addProcessorProperty(environment->thread, processorData, source->data());
  addProcessorProperty(environment->thread, processorData, stylesheet->data());
  addProcessorProperty(environment->thread, processorData, output->data());
  return j_run_transform(environment->thread, processorData);
}
