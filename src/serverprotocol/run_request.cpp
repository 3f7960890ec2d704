#include "run_request.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <cstring>

#include "wire.h"

std::optional<RunRequest> runRequestOf(const std::vector<std::string>& options) {
  RunRequest request;
  struct Single {
    const char* prefix;
    std::string* value;
    bool* given;
  } const singles[] = {{"-s:", &request.source, &request.hasSource},
                       {"-xsl:", &request.stylesheet, &request.hasStylesheet},
                       {"-o:", &request.report, &request.hasReport},
                       {"-err:", &request.errorFile, &request.hasErrorFile},
                       {"-doc:", &request.document, &request.hasDocument}};
  const std::string schema = "-xsd:";
  const std::string read = "-read:";
  for (const std::string& option : options) {
    const auto single = std::find_if(std::begin(singles), std::end(singles), [&](const Single& s) {
      return option.starts_with(s.prefix);
    });
    if (single != std::end(singles)) {
      *single->value = option.substr(std::strlen(single->prefix));
      *single->given = true;
    } else if (option.starts_with(schema)) {
      request.schemas.push_back(option.substr(schema.size()));
    } else if (option.starts_with(read)) {
      request.readScope.push_back(option.substr(read.size()));
    } else if (option == "-l:on") {
      request.lineNumbers = true;
    } else if (option.starts_with("+") && option.find('=') > 1 &&
               option.find('=') != std::string::npos) {
      const std::size_t equals = option.find('=');
      request.documentParameters.emplace_back(option.substr(1, equals - 1),
                                              option.substr(equals + 1));
    } else {
      // A string parameter, name=value. Saxon reads "?name=" and "!name="
      // as expressions and serialization settings, and "-name" as an
      // option.
      const std::size_t equals = option.find('=');
      if (equals == 0 || equals == std::string::npos || std::strchr("-+?!", option[0]))
        return std::nullopt;
      request.parameters.emplace_back(option.substr(0, equals), option.substr(equals + 1));
    }
  }
  return request;
}

std::vector<std::string> optionsOf(const RunRequest& request, const std::string& directory) {
  std::vector<std::string> options;
  if (request.hasSource) options.push_back("-s:" + request.source);
  if (request.hasStylesheet) options.push_back("-xsl:" + request.stylesheet);
  for (const std::string& schema : request.schemas) options.push_back("-xsd:" + schema);
  if (request.hasReport) options.push_back("-o:" + request.report);
  if (request.hasErrorFile) options.push_back("-err:" + request.errorFile);
  if (request.lineNumbers) options.push_back("-l:on");
  if (request.hasDocument) options.push_back("-doc:" + request.document);
  for (const std::string& folder : request.readScope) options.push_back("-read:" + folder);
  for (const auto& [name, file] : request.documentParameters)
    options.push_back("+" + name + "=" + file);
  for (const auto& [name, value] : request.parameters) options.push_back(name + "=" + value);
  options.push_back("-cwd:" + directory);
  return options;
}

std::vector<std::pair<std::string, bool>> namesOf(const RunRequest& request) {
  std::vector<std::pair<std::string, bool>> names;
  if (request.hasSource) names.emplace_back(request.source, false);
  if (request.hasStylesheet) names.emplace_back(request.stylesheet, false);
  for (const std::string& schema : request.schemas) names.emplace_back(schema, false);
  if (request.hasReport) names.emplace_back(request.report, true);
  if (request.hasErrorFile) names.emplace_back(request.errorFile, true);
  if (request.hasDocument) names.emplace_back(request.document, false);
  for (const auto& [name, file] : request.documentParameters) names.emplace_back(file, false);
  for (const std::string& folder : request.readScope) names.emplace_back(folder, false);
  return names;
}

namespace {

enum : std::uint32_t {
  kHasSource = 1,
  kHasStylesheet = 2,
  kHasReport = 4,
  kHasErrorFile = 8,
  kLineNumbers = 16,
  kHasDocument = 32
};

}  // namespace

void writeRunRequest(Writer& message, const RunRequest& request, const std::string& directory) {
  message.u32((request.hasSource ? kHasSource : 0) | (request.hasStylesheet ? kHasStylesheet : 0) |
              (request.hasReport ? kHasReport : 0) | (request.hasErrorFile ? kHasErrorFile : 0) |
              (request.lineNumbers ? kLineNumbers : 0) |
              (request.hasDocument ? kHasDocument : 0));
  for (const std::string* name : {&request.source, &request.stylesheet, &request.report,
                                  &request.errorFile, &request.document}) {
    message.text(*name);
  }
  message.texts(request.schemas);
  message.texts(request.readScope);
  for (const auto* pairs : {&request.parameters, &request.documentParameters}) {
    message.u32(static_cast<std::uint32_t>(pairs->size()));
    for (const auto& [name, value] : *pairs) {
      message.text(name);
      message.text(value);
    }
  }
  message.text(directory);
}

std::optional<std::pair<RunRequest, std::string>> readRunRequest(Reader& message) {
  RunRequest request;
  const auto present = message.u32();
  if (!present) return std::nullopt;
  request.hasSource = *present & kHasSource;
  request.hasStylesheet = *present & kHasStylesheet;
  request.hasReport = *present & kHasReport;
  request.hasErrorFile = *present & kHasErrorFile;
  request.lineNumbers = *present & kLineNumbers;
  request.hasDocument = *present & kHasDocument;
  for (std::string* name : {&request.source, &request.stylesheet, &request.report,
                            &request.errorFile, &request.document}) {
    auto text = message.text();
    if (!text) return std::nullopt;
    *name = std::move(*text);
  }
  auto schemas = message.texts();
  auto scope = schemas ? message.texts() : std::nullopt;
  if (!scope) return std::nullopt;
  request.schemas = std::move(*schemas);
  request.readScope = std::move(*scope);
  for (auto* pairs : {&request.parameters, &request.documentParameters}) {
    const auto count = message.u32();
    if (!count) return std::nullopt;
    for (std::uint32_t i = 0; i < *count; ++i) {
      auto name = message.text();
      auto value = name ? message.text() : std::nullopt;
      if (!value) return std::nullopt;
      pairs->emplace_back(std::move(*name), std::move(*value));
    }
  }
  auto directory = message.text();
  if (!directory) return std::nullopt;
  return std::make_pair(std::move(request), std::move(*directory));
}
