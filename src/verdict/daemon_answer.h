// What the validation service answers, apart from the HTTP library: the
// status of a checked document, the answer's form, the document's name
// from the request path, the health answer, the token check and the
// Prometheus metrics.
#ifndef XSLVALIDATE_VERDICT_DAEMON_ANSWER_H_
#define XSLVALIDATE_VERDICT_DAEMON_ANSWER_H_

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "verdict/result.h"

// The HTTP status of a checked document: 200 accepted, 406 rejected (its
// own faults included), 422 no verdict.
int httpStatusOf(const DocumentResult& result);

// `result` as a client of the service may see it: every file it names by
// its last segment only (the document by the name the request gave, which
// `result` already holds); no engine message (the service logs those); and
// in its other texts every path under one of `privateFolders` (the
// service's own, UTF-8, given as plain paths; their file: URIs are found
// too) cut to its last segment.
DocumentResult servedResult(DocumentResult result,
                            const std::vector<std::string>& privateFolders);

// What makes a request's framing one the service refuses (400), in words,
// or empty text: a request target that is not a path (`POST *`); two
// Content-Length headers that differ, or one that is not a number; and
// Content-Length with Transfer-Encoding. Behind a proxy that reads the
// framing otherwise, each could smuggle a request. `headers` are every
// header of the request, names as sent, in order.
std::string framingProblem(std::string_view target,
                           const std::vector<std::pair<std::string, std::string>>& headers);

// The answer's form, from the request's Accept header: JSON for
// application/json, the page for text/html, the configuration's report for
// anything else (never 406 for a type we do not make).
enum class AnswerForm { kReport, kJson, kPage };
AnswerForm answerFormFor(std::string_view accept);

// The document's name: the last segment of `path` (a request path without
// its query), when it is a plain file name; empty text when a name must be
// made up (POST to "/", ".", "..", control characters, too long).
std::string documentNameOf(std::string_view path);

// The health answer in the reference daemon's XML shape: status UP (or
// DOWN when not `up`), the application's name, version and build, and
// memory in bytes.
std::string healthXml(bool up, std::string_view version, long long freeMemory,
                      long long maxMemory, long long totalMemory);

// Whether the Authorization header value `given` is "Bearer <token>",
// compared in time that does not depend on where they differ.
bool bearerMatches(std::string_view given, std::string_view token);

// The service's counters, rendered in the Prometheus text format.
struct DaemonMetrics {
  static constexpr std::array<double, 10> kBuckets = {0.01, 0.025, 0.05, 0.1, 0.25,
                                                      0.5,  1,     2.5,  5,   10};
  std::map<int, unsigned long long> requestsByStatus;
  std::array<unsigned long long, kBuckets.size() + 1> latency{};  // the last: +Inf
  double latencySum = 0;
  unsigned long long latencyCount = 0;
  long long inFlight = 0;   // documents taken and not yet answered
  long long queued = 0;     // documents waiting for a worker
  unsigned workers = 0;
  unsigned withoutServer = 0;  // workers whose last try to get an engine server failed
  bool ready = false;        // the configuration in use is warmed up
  unsigned long long warmed = 0;  // its compiles the warm-up had made
  bool probeOk = false;  // the service's own probe document last got a verdict
  unsigned long long failedReloads = 0;  // reloads refused
  std::string lastReloadFailure;  // the reason code of the last one; empty: none
  // Counts one answered request with its status and duration.
  void record(int status, double seconds);
  std::string text() const;
};

#endif  // XSLVALIDATE_VERDICT_DAEMON_ANSWER_H_
