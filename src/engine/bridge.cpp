#include "engine/bridge.h"

#include <cstdio>
#include <string>

#include "engine/utf8.h"
#include "path/report_path.h"

int createIsolate(EngineEnvironment* environment) {
  if (graal_create_isolate(nullptr, &environment->isolate,
                           &environment->thread) != 0) {
    std::fprintf(stderr, "graal_create_isolate error\n");
    return 1;
  }
  environment->mainThread = environment->thread;
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
  long long processorData =
      createProcessorDataWithCapacity(environment->thread, 3);
  // The engine copies nothing we rely on before the run, so the option
  // strings live until j_run_transform has returned.
  std::string source = "-s:" + toUtf8(inputPath);
  std::string stylesheet = "-xsl:" + toUtf8(stylesheetPath);
  std::string output = "-o:" + toUtf8(outputPath);
  addProcessorProperty(environment->thread, processorData, source.data());
  addProcessorProperty(environment->thread, processorData, stylesheet.data());
  addProcessorProperty(environment->thread, processorData, output.data());
  return j_run_transform(environment->thread, processorData);
}
