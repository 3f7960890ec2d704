#include "verdict/daemon_answer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "verdict/markup.h"

int httpStatusOf(const DocumentResult& result) {
  switch (result.verdict) {
    case Verdict::kAccepted:
      return 200;
    case Verdict::kRejected:
      return 406;
    case Verdict::kNone:
      break;
  }
  return 422;
}

namespace {

// Whether the media range list `accept` names `type` (case-insensitive,
// parameters ignored).
bool names(std::string_view accept, std::string_view type) {
  size_t start = 0;
  while (start <= accept.size()) {
    size_t end = accept.find(',', start);
    if (end == std::string_view::npos)
      end = accept.size();
    std::string_view range = accept.substr(start, end - start);
    range = range.substr(0, range.find(';'));
    while (!range.empty() && std::isspace(static_cast<unsigned char>(range.front())))
      range.remove_prefix(1);
    while (!range.empty() && std::isspace(static_cast<unsigned char>(range.back())))
      range.remove_suffix(1);
    if (range.size() == type.size()) {
      bool same = true;
      for (size_t i = 0; i < type.size() && same; ++i)
        same = std::tolower(static_cast<unsigned char>(range[i])) == type[i];
      if (same)
        return true;
    }
    start = end + 1;
  }
  return false;
}

// The last segment of a path or URI.
std::string lastSegment(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// `text` with every path that starts with `folder` cut to its last segment;
// a path ends at white space, a quote, a bracket or a comma.
std::string cutPaths(std::string text, const std::string& folder) {
  if (folder.empty())
    return text;
  for (size_t at = text.find(folder); at != std::string::npos; at = text.find(folder, at)) {
    size_t end = at + folder.size();
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
           std::string_view("\"'()[]<>,").find(text[end]) == std::string_view::npos)
      ++end;
    // A file: URI's scheme goes with it.
    size_t start = at;
    for (std::string_view scheme : {"file://", "file:"})
      if (start >= scheme.size() && text.compare(start - scheme.size(), scheme.size(), scheme) == 0) {
        start -= scheme.size();
        break;
      }
    const std::string cut = lastSegment(std::string_view(text).substr(at, end - at));
    text.replace(start, end - start, cut);
    at = start + cut.size();
  }
  return text;
}

}  // namespace

std::string framingProblem(std::string_view target,
                           const std::vector<std::pair<std::string, std::string>>& headers) {
  if (target.empty() || target.front() != '/')
    return "the request target is not a path";
  const auto same = [](std::string_view name, std::string_view lower) {
    return name.size() == lower.size() &&
           std::equal(name.begin(), name.end(), lower.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) == b;
           });
  };
  const std::string* length = nullptr;
  bool transferEncoding = false;
  for (const auto& [name, value] : headers) {
    if (same(name, "transfer-encoding"))
      transferEncoding = true;
    if (!same(name, "content-length"))
      continue;
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
      return "its Content-Length is not a number";
    if (length && *length != value)
      return "it has two Content-Length headers that differ";
    length = &value;
  }
  if (length && transferEncoding)
    return "it has both Content-Length and Transfer-Encoding";
  return std::string();
}

DocumentResult servedResult(DocumentResult result,
                            const std::vector<std::string>& privateFolders) {
  const auto cut = [&](std::string text) {
    for (const std::string& folder : privateFolders)
      text = cutPaths(std::move(text), folder);
    return text;
  };
  if (result.configuration)
    result.configuration = lastSegment(*result.configuration);
  if (result.validationReport)
    result.validationReport = lastSegment(*result.validationReport);
  result.validationReportFile.clear();
  for (std::string& schema : result.schema.schemas)
    schema = lastSegment(schema);
  result.schema.problem = cut(result.schema.problem);
  for (FindingRecord& finding : result.schema.findings)
    finding.text = cut(finding.text);
  for (RuleSetRecord& set : result.ruleSets) {
    set.stylesheet = lastSegment(set.stylesheet);
    set.report = lastSegment(set.report);
    set.problem = cut(set.problem);
  }
  result.reason = cut(result.reason);
  result.engineMessages.clear();
  result.compileMessages.clear();
  result.runMessages.clear();
  return result;
}

AnswerForm answerFormFor(std::string_view accept) {
  // The first of our forms the client names; the report wins a tie, as it
  // is what clients of the reference daemon read.
  if (names(accept, "application/xml") || names(accept, "text/xml"))
    return AnswerForm::kReport;
  if (names(accept, "application/json"))
    return AnswerForm::kJson;
  if (names(accept, "text/html"))
    return AnswerForm::kPage;
  return AnswerForm::kReport;
}

std::string documentNameOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == ".." || name.size() > 200)
    return std::string();
  for (const char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '\\')
      return std::string();
  return std::string(name);
}

std::string healthXml(bool up, std::string_view version, long long freeMemory,
                      long long maxMemory, long long totalMemory) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<health xmlns=\"http://www.xoev.de/de/validator/framework/1/daemon\">\n"
      "  <status>";
  xml += up ? "UP" : "DOWN";
  xml += "</status>\n"
      "  <application>\n"
      "    <name>xslvalidate-verdict</name>\n"
      "    <version>";
  xml += markupText(version);
  xml += "</version>\n    <build>";
  xml += markupText(version);
  xml += "</build>\n  </application>\n  <memory>\n";
  xml += "    <freeMemory>" + std::to_string(freeMemory) + "</freeMemory>\n";
  xml += "    <maxMemory>" + std::to_string(maxMemory) + "</maxMemory>\n";
  xml += "    <totalMemory>" + std::to_string(totalMemory) + "</totalMemory>\n";
  xml += "  </memory>\n</health>\n";
  return xml;
}

bool bearerMatches(std::string_view given, std::string_view token) {
  const std::string expected = "Bearer " + std::string(token);
  // Every byte of the longer text is looked at, whatever differs first.
  unsigned char differ = given.size() == expected.size() ? 0 : 1;
  const size_t length = std::max(given.size(), expected.size());
  for (size_t i = 0; i < length; ++i) {
    const unsigned char a = i < given.size() ? given[i] : 0;
    const unsigned char b = i < expected.size() ? expected[i] : 0;
    differ |= a ^ b;
  }
  return differ == 0 && !token.empty();
}

void DaemonMetrics::record(int status, double seconds) {
  ++requestsByStatus[status];
  size_t bucket = 0;
  while (bucket < kBuckets.size() && seconds > kBuckets[bucket])
    ++bucket;
  ++latency[bucket];
  latencySum += seconds;
  ++latencyCount;
}

namespace {

// One metric with a single sample, in the Prometheus text format: its
// help line, its type line and its value.
std::string singleMetric(const char* name, const char* type, const char* help,
                         const std::string& value) {
  return std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n" +
         name + " " + value + "\n";
}

}  // namespace

std::string DaemonMetrics::text() const {
  std::string out =
      "# HELP xslvalidate_requests_total Requests answered, by HTTP status.\n"
      "# TYPE xslvalidate_requests_total counter\n";
  for (const auto& [status, count] : requestsByStatus)
    out += "xslvalidate_requests_total{status=\"" + std::to_string(status) + "\"} " +
           std::to_string(count) + "\n";
  out +=
      "# HELP xslvalidate_request_seconds Time from a request's start to its answer.\n"
      "# TYPE xslvalidate_request_seconds histogram\n";
  unsigned long long cumulative = 0;
  for (size_t i = 0; i < latency.size(); ++i) {
    cumulative += latency[i];
    std::string bound = "+Inf";
    if (i < kBuckets.size()) {
      char text[32];
      std::snprintf(text, sizeof text, "%g", kBuckets[i]);
      bound = text;
    }
    out += "xslvalidate_request_seconds_bucket{le=\"" + bound + "\"} " +
           std::to_string(cumulative) + "\n";
  }
  char sum[64];
  std::snprintf(sum, sizeof sum, "%.6f", latencySum);
  out += "xslvalidate_request_seconds_sum " + std::string(sum) + "\n";
  out += "xslvalidate_request_seconds_count " + std::to_string(latencyCount) + "\n";
  out += singleMetric("xslvalidate_in_flight", "gauge",
                      "Documents taken and not yet answered.",
                      std::to_string(inFlight));
  out += singleMetric("xslvalidate_queue_length", "gauge",
                      "Documents waiting for a worker.",
                      std::to_string(queued));
  out += singleMetric("xslvalidate_workers", "gauge",
                      "Workers, each with its own engine connection.",
                      std::to_string(workers));
  out += singleMetric("xslvalidate_workers_without_engine_server", "gauge",
                      "Workers that could not get an engine server; their documents are "
                      "answered 503.",
                      std::to_string(withoutServer));
  out += singleMetric("xslvalidate_ready", "gauge",
                      "Whether the configuration in use has been warmed up (health answers UP).",
                      std::to_string(ready ? 1 : 0));
  out += singleMetric("xslvalidate_warmed_compiles", "gauge",
                      "Stylesheets and schema sets of the configuration in use that the warm-up"
                      " had the engine server compile; the server may since have let some go "
                      "from its cache.",
                      std::to_string(warmed));
  out += singleMetric("xslvalidate_probe_ok", "gauge",
                      "Whether the service's own probe document last got a verdict (health "
                      "answers DOWN when not).",
                      std::to_string(probeOk ? 1 : 0));
  out += singleMetric("xslvalidate_reloads_failed_total", "counter",
                      "Reloads refused; the configuration in use served on unchanged.",
                      std::to_string(failedReloads));
  if (!lastReloadFailure.empty())
    out += "# HELP xslvalidate_reload_last_failure The reason code of the last refused "
           "reload.\n"
           "# TYPE xslvalidate_reload_last_failure gauge\n"
           "xslvalidate_reload_last_failure{code=\"" + lastReloadFailure + "\"} 1\n";
  return out;
}
