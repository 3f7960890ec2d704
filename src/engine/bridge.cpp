#include "engine/bridge.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

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

// What the file at `path` holds; empty when it cannot be read.
std::string contentOf(std::u16string_view path) {
  try {
    std::ifstream file(std::filesystem::path(std::u16string(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  } catch (...) {
    return std::string();
  }
}

// One engine option: its prefix and the path that follows it.
struct NamedPath {
  const char* prefix;
  std::u16string_view path;
};

// Hands the engine one run with `options` in order and returns its status;
// 2, before the engine is called, when a path has no UTF-8 form.
int runWithOptions(EngineEnvironment* environment,
                   std::vector<NamedPath> options, const ReadRules& rules) {
  if (!rules.document.empty())
    options.push_back({"-doc:", rules.document});
  for (const std::u16string& folder : rules.scope)
    options.push_back({"-read:", folder});
  const std::string parameter = "+" + rules.parameter + "=";
  if (!rules.parameter.empty())
    options.push_back({parameter.c_str(), rules.parameterFile});
  if (!environment->messagesFile.empty()) {
    // Gone first, so that a run that writes none leaves none of an earlier one.
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(environment->messagesFile), ignored);
    options.push_back({"-err:", environment->messagesFile});
  }
  std::vector<std::string> texts;
  for (const NamedPath& named : options) {
    std::optional<std::string> text = option(named.prefix, named.path);
    if (!text)
      return 2;
    texts.push_back(std::move(*text));
  }
  long long processorData = createProcessorDataWithCapacity(
      environment->thread, static_cast<int>(texts.size()));
  // The engine copies nothing we rely on before the run, so the option
  // strings live until j_run_transform has returned.
  for (std::string& text : texts)
    addProcessorProperty(environment->thread, processorData, text.data());
  const int status = j_run_transform(environment->thread, processorData);
  if (!environment->messagesFile.empty()) {
    // The engine's mark between compile and run messages
    // (XslvalidateRun.RUN_MESSAGES_MARK); a NUL no message holds.
    static const std::string kMark = std::string(1, '\0') + "xslvalidate-run-messages\n";
    std::string text = contentOf(environment->messagesFile);
    const size_t mark = text.find(kMark);
    environment->lastRunCompiled = mark != std::string::npos;
    if (mark != std::string::npos) {
      if (mark > 0)
        environment->compileMessages.push_back(text.substr(0, mark));
      text.erase(mark, kMark.size());
      environment->runMessages += text.substr(mark);
    } else {
      environment->runMessages += text;
    }
    environment->messages += text;
  }
  return status;
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
                   std::u16string_view outputPath,
                   const ReadRules& rules) {
  return runWithOptions(environment, {{"-s:", inputPath},
                                      {"-xsl:", stylesheetPath},
                                      {"-o:", outputPath}}, rules);
}

int runTransformWithLines(EngineEnvironment* environment,
                          std::u16string_view inputPath,
                          std::u16string_view stylesheetPath,
                          std::u16string_view outputPath) {
  return runWithOptions(environment, {{"-s:", inputPath},
                                      {"-xsl:", stylesheetPath},
                                      {"-o:", outputPath},
                                      {"-l:on", u""}}, ReadRules());
}

int runSchemaValidation(EngineEnvironment* environment,
                        std::u16string_view inputPath,
                        const std::vector<std::u16string>& schemaPaths,
                        std::u16string_view reportPath,
                        const ReadRules& rules) {
  std::vector<NamedPath> options = {{"-s:", inputPath}};
  for (const std::u16string& schema : schemaPaths)
    options.push_back({"-xsd:", schema});
  options.push_back({"-o:", reportPath});
  return runWithOptions(environment, options, rules);
}
