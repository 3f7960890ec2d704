// The validation service on Linux: GNU libmicrohttpd reads requests on its
// own thread (bounded connections, timeouts, body streamed to a private
// file); a complete document is queued for a pool of batch workers, each
// with its own engine connection, and its connection is suspended until a
// worker has the answer. SIGTERM and SIGINT drain: no new connection, the
// documents in flight answered (bounded), every temporary file removed.
// SIGHUP or a changed configuration file reloads the configurations. A
// configuration serves only once warmed up wholly (its stylesheets compiled
// in the engine server and run) and its probe document has a verdict; a
// check past its time limit is stopped. A read watch bounds each request's
// whole arrival, headers included; health follows the probe document.
#include "verdict/daemon.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <malloc.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/engine_service.h"
#include "host/utf8.h"
#include "verdict/batch_worker.h"
#include "verdict/daemon_answer.h"
#include "verdict/host_files.h"
#include "verdict/html_page.h"
#include "verdict/markup.h"
#include "verdict/reason_code.h"
#include "verdict/printer.h"
#include "verdict/scenarios.h"
#include "verdict/scratch_guard.h"
#include "verdict/shown.h"
#include "verdict/summary_line.h"
#include "verdict/daemon_warm_up.h"
#include "verdict/verdict.h"
#include "version.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often a worker without an engine server tries again while it has
// nothing to do, and what a client it cannot serve is told to wait: a
// server that could not be started is not likely back sooner.
constexpr int kServerRetrySeconds = 5;
constexpr char kServerRetryAfter[] = "5";

// How often the service checks its own probe document under the
// configuration in use, which decides health.
constexpr int kProbeSeconds = 5;

// Why a reload was refused, as /metrics gives it.
constexpr char kReloadRefused[] = "configuration-invalid";  // the loader refused it
constexpr char kReloadNotCompiled[] = "compile-failed";  // a stylesheet or schema set
constexpr char kReloadWarmUpFailed[] = "warm-up-failed";  // one failed on the tiny document
constexpr char kReloadProbeFailed[] = "probe-failed";  // the probe document got no verdict

// One request, from its first byte to its answer; owned by its connection.
struct Request {
  Clock::time_point start = Clock::now();
  std::string method, path, name;
  AnswerForm form = AnswerForm::kReport;
  std::u16string folder;  // private: the document, its reports beside it
  std::u16string document;
  std::FILE* body = nullptr;
  unsigned long long size = 0;
  bool tooLarge = false, failed = false, queued = false;
  bool closeAfter = false;  // the connection is closed after the answer
  bool writtenDirectly = false;  // answered on the socket itself (answerHalfClosed)
  // The answer, once made.
  bool answered = false;
  int status = 0;
  std::string contentType, text, reasonCode;
  const char* allow = nullptr;  // the Allow header of a 405
  const char* retryAfter = nullptr;  // the Retry-After header of a 503, in seconds
  MHD_Connection* connection = nullptr;
};

// What the watch sees of one worker: whether it is running the engine, and
// until when it may.
struct WorkerSlot {
  graal_isolatethread_t* thread = nullptr;  // its engine handle; null: none
  bool busy = false;
  bool stopped = false;  // the watch stopped its engine run
  Clock::time_point deadline;
};

// What the read watch knows of one open connection: its socket, and by
// when the request it is receiving must be whole.
struct OpenConnection {
  int socket = -1;
  Clock::time_point deadline = Clock::time_point::max();  // max(): no request coming in
};

struct Service {
  // The plan in use; a worker keeps the one it took until its document is
  // answered, so a reload never pulls a plan from under a check.
  std::shared_ptr<const LoadedPlan> plan;
  const DaemonSettings* settings = nullptr;
  std::string token;
  std::u16string root;  // every request's folder is under it
  // Placed once, in `root` where they cannot be kept for the user, before
  // any worker checks; only read after.
  BundledPlaces bundled;
  std::atomic<unsigned long long> counter{0};
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Request*> waiting;
  // A plan loaded and not yet warmed up: the next free worker warms it up
  // and then puts it in use.
  std::shared_ptr<const LoadedPlan> warming;
  std::vector<WorkerSlot> slots;
  // Per worker: its last try to get an engine server failed. The count is
  // metrics.withoutServer; its first rise and its return to zero start and
  // end an episode, each said once on standard error.
  std::vector<char> withoutServer;
  bool stopping = false;
  // The first configuration failed its warm-up: the service ends, status 2.
  bool startFailed = false;
  // When a worker next checks the probe document, and whether one is.
  Clock::time_point probeDue;
  bool probing = false;
  bool watching = true;
  // The open connections, each shut once its request takes longer than
  // --read-timeout from its first byte (headers included); an entry goes
  // before its socket is closed, so a socket shut is always its own.
  std::mutex connectionsMutex;
  std::condition_variable connectionsChanged;
  std::map<MHD_Connection*, OpenConnection> connections;
  bool readWatching = true;
  size_t started = 0;
  bool guarded = false;
  DaemonMetrics metrics;
};

int wakeWrite = -1;  // the signal handler's end of the self-pipe

void onSignal(int signal) {
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] ssize_t ignored = write(wakeWrite, &byte, 1);
}

void answer(Request* request, int status, std::string contentType, std::string text,
            std::string reasonCode = std::string()) {
  request->answered = true;
  request->status = status;
  request->contentType = std::move(contentType);
  request->text = std::move(text);
  request->reasonCode = std::move(reasonCode);
}

void answerText(Request* request, int status, const std::string& text, const char* code) {
  answer(request, status, "text/plain; charset=utf-8", text + "\n", code);
}

MHD_Result send(MHD_Connection* connection, Request* request) {
  MHD_Response* response = MHD_create_response_from_buffer(
      request->text.size(), request->text.data(), MHD_RESPMEM_MUST_COPY);
  if (response == nullptr)
    return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, request->contentType.c_str());
  if (request->allow)
    MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, request->allow);
  if (request->status == 401)
    MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Bearer");
  if (request->retryAfter)
    MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER, request->retryAfter);
  if (!request->reasonCode.empty())
    MHD_add_response_header(response, "X-Reason-Code", request->reasonCode.c_str());
  // A request whose framing was refused may have sent more than we read:
  // nothing after it on the connection is taken as a request.
  if (request->closeAfter)
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
  const MHD_Result queued = MHD_queue_response(connection, request->status, response);
  MHD_destroy_response(response);
  return queued;
}

// The usage page of GET /: what to send and what comes back.
std::string usagePage(Service* service) {
  std::string configurations;
  std::shared_ptr<const LoadedPlan> plan;
  {
    std::lock_guard lock(service->mutex);
    plan = service->plan;
  }
  for (const ScenarioSet* set : plan->plan.configurations)
    configurations += "<li>" + markupText(set->name) + "</li>";
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>xslvalidate-verdict"
         "</title></head><body><h1>xslvalidate-verdict " XSLVALIDATE_VERSION
         "</h1><p>POST one XML document as the body to any path; the last segment names "
         "it:</p><pre>curl --data-binary @invoice.xml http://HOST:PORT/invoice.xml</pre>"
         "<p>The answer is the configuration's report (application/xml); "
         "<code>Accept: application/json</code> gives the JSON verdict, "
         "<code>Accept: text/html</code> the page. Status 200 accepted, 406 rejected, "
         "422 no verdict, 400 no body, 413 too large, 503 busy.</p>"
         "<p>GET /server/health, GET /metrics.</p><p>Configurations:</p><ul>" +
         configurations + "</ul></body></html>\n";
}

// The health answer's memory, meant as the JVM's runtime means it: `max`
// the most the service may take (its control group's limit, else the
// machine's memory), `total` what its heap holds from the system now, and
// `free` the part of that not in use; free <= total <= max.
struct MemoryFigures {
  long long free = 0, total = 0, max = 0;
};

MemoryFigures memoryFigures() {
  MemoryFigures memory;
  memory.max = static_cast<long long>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE);
  if (std::FILE* limit = std::fopen("/sys/fs/cgroup/memory.max", "r")) {
    long long bytes = 0;
    if (std::fscanf(limit, "%lld", &bytes) == 1 && bytes > 0)  // "max": none
      memory.max = std::min(memory.max, bytes);
    std::fclose(limit);
  }
  const struct mallinfo2 heap = mallinfo2();
  memory.total = std::min(memory.max, static_cast<long long>(heap.arena + heap.hblkhd));
  memory.free = std::min(memory.total, static_cast<long long>(heap.fordblks));
  return memory;
}

// Answers a GET: health, metrics, the usage page; 405 for anything else.
void answerGet(Service* service, Request* request) {
  if (request->path == "/server/health") {
    bool ready;
    {
      std::lock_guard lock(service->mutex);
      ready = service->metrics.ready && service->metrics.probeOk &&
              service->metrics.withoutServer < service->metrics.workers;
    }
    // Not ready (503, DOWN) until the configuration's stylesheets are
    // compiled: a balancer sends nothing to a service that would compile
    // them on its first documents. Nor while no worker has an engine
    // server (every document would be answered 503), nor while the
    // service's own probe document gets no verdict.
    const MemoryFigures memory = memoryFigures();
    answer(request, ready ? 200 : 503, "application/xml",
           healthXml(ready, XSLVALIDATE_VERSION, memory.free, memory.max, memory.total));
  } else if (request->path == "/metrics") {
    std::lock_guard lock(service->mutex);
    answer(request, 200, "text/plain; version=0.0.4", service->metrics.text());
  } else if (request->path == "/" && service->settings->gui) {
    answer(request, 200, "text/html; charset=utf-8", usagePage(service));
  } else {
    request->allow = "POST";
    answerText(request, 405, "documents are POSTed; GET serves /server/health, /metrics and /",
               "method-not-allowed");
  }
}

// Opens the request's private folder and document file.
bool openBody(Service* service, Request* request) {
  const unsigned long long number = ++service->counter;
  if (request->name.empty())
    request->name = "document-" + std::to_string(number) + ".xml";
  request->folder = inFolder(service->root, fromUtf8("r" + std::to_string(number)));
  if (!makeFolders(request->folder))
    return false;
  request->document = inFolder(request->folder, fromUtf8(request->name));
  request->body = openFile(request->document, "wbx");
  return request->body != nullptr;
}

// The first call for a request: routes it, and for a POST checks the
// token and the declared size before any byte of the body is read.
void begin(Service* service, Request* request, MHD_Connection* connection) {
  const DaemonSettings& settings = *service->settings;
  std::vector<std::pair<std::string, std::string>> headers;
  MHD_get_connection_values(
      connection, MHD_HEADER_KIND,
      [](void* into, MHD_ValueKind, const char* name, const char* value) {
        static_cast<std::vector<std::pair<std::string, std::string>>*>(into)->emplace_back(
            name ? name : "", value ? value : "");
        return MHD_YES;
      },
      &headers);
  if (const std::string problem = framingProblem(request->path, headers); !problem.empty()) {
    request->closeAfter = true;
    answerText(request, 400, "the request is refused: " + problem, "bad-request");
    return;
  }
  if (request->method == "GET" || request->method == "HEAD") {
    answerGet(service, request);
    return;
  }
  if (request->method != "POST") {
    request->allow = "POST, GET";
    answerText(request, 405, "only POST checks a document", "method-not-allowed");
    return;
  }
  if (!service->token.empty()) {
    const char* given =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
    if (!bearerMatches(given ? given : "", service->token)) {
      answerText(request, 401, "a bearer token is needed", "unauthorized");
      return;
    }
  }
  const char* length =
      MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
  if (length && std::strtoull(length, nullptr, 10) > settings.maxBody) {
    answerText(request, 413, "the document is larger than " + std::to_string(settings.maxBody) +
                                 " bytes", "body-too-large");
    return;
  }
  const char* accept =
      MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT);
  request->form = answerFormFor(accept ? accept : "");
  request->name = documentNameOf(request->path);
  if (!openBody(service, request))
    request->failed = true;
}

// The answer to a checked document, in the form the client asked for. The
// JSON and the page name no file of the service's (`privateFolders`) and
// carry no engine message; the report names the document as the request
// did.
void answerChecked(Request* request, const DocumentResult& result,
                   const std::vector<std::string>& privateFolders) {
  const int status = httpStatusOf(result);
  const std::string code = result.reasonCode ? result.reasonCode : "";
  switch (request->form) {
    case AnswerForm::kJson:
      answer(request, status, "application/json",
             jsonOutput(servedResult(result, privateFolders)), code);
      return;
    case AnswerForm::kPage:
      answer(request, status, "text/html; charset=utf-8",
             htmlPage(servedResult(result, privateFolders)), code);
      return;
    case AnswerForm::kReport:
      break;
  }
  std::string report;
  if (result.validationReport && readWholeFile(result.validationReportFile, &report)) {
    answer(request, status, "application/xml", std::move(report), code);
  } else if (result.validationReport) {
    answerText(request, 500, "the report could not be read back", "internal-error");
  } else {
    // No report: the reason in words, with the status of the verdict.
    answerText(request, status, visible(servedResult(result, privateFolders).reason),
               code.c_str());
  }
}

// The folders whose paths no answer shows: the service's own and those of
// the configuration `plan`.
std::vector<std::string> privateFolders(const Service& service, const LoadedPlan& plan) {
  std::vector<std::string> folders = plan.folders;
  folders.push_back(shown(service.root));
  return folders;
}

// Gets the worker `index` an engine on an engine server, or keeps the one
// it has (attachToEngineServer). A worker that cannot get one has no
// engine, never one in this process. Counts the workers without a server,
// and says on standard error when the first of them is left without one
// and when the last of them has one again. Returns whether it has one.
bool attachWorker(Service* service, size_t index, BatchWorker* worker) {
  const bool attached = attachToEngineServer(&worker->environment);
  if (!attached && worker->started)
    graal_detach_thread(worker->environment.thread);  // its closed connection
  worker->started = attached;
  worker->check.environment = attached ? &worker->environment : nullptr;
  bool lost = false, back = false;
  {
    std::lock_guard lock(service->mutex);
    char& without = service->withoutServer[index];
    if (without != !attached) {
      without = !attached;
      unsigned& count = service->metrics.withoutServer;
      if (attached)
        --count;
      else
        ++count;
      lost = !attached && count == 1;
      back = attached && count == 0;
    }
  }
  if (lost)
    std::fprintf(stderr, "xslvalidate-verdict: no engine server could be had; documents are "
                 "answered 503 (engine-unavailable) until one can, tried again every %d s\n",
                 kServerRetrySeconds);
  if (back)
    std::fputs("xslvalidate-verdict: an engine server serves every worker again\n", stderr);
  return attached;
}

// The worker's engine made anew, after its run was stopped.
void restartEngine(Service* service, size_t index, BatchWorker* worker) {
  if (worker->started)
    graal_detach_thread(worker->environment.thread);
  worker->started = false;
  attachWorker(service, index, worker);
}

// Marks the worker `index` as running the engine until the check time
// limit from now; the watch stops it past that.
void startRun(Service* service, size_t index, const BatchWorker& worker) {
  std::lock_guard lock(service->mutex);
  WorkerSlot& slot = service->slots[index];
  slot.thread = worker.started ? worker.environment.thread : nullptr;
  slot.busy = true;
  slot.deadline = Clock::now() + std::chrono::seconds(service->settings->checkSeconds);
  service->changed.notify_all();
}

// Marks the worker `index` as done with the engine; true when the watch
// stopped its run meanwhile.
bool endRun(Service* service, size_t index) {
  std::lock_guard lock(service->mutex);
  WorkerSlot& slot = service->slots[index];
  const bool stopped = slot.stopped;
  slot = WorkerSlot{};
  return stopped;
}

// Checks the service's own probe document under `plan` with the worker,
// as a client's document is checked (its own folder under the service's,
// the time limit, the report read back). Returns why it got no verdict,
// or empty text. Clients' documents never decide health: a client could
// otherwise have the service taken out of a balancer.
std::string checkProbe(Service* service, size_t index, BatchWorker* worker,
                       const LoadedPlan& plan) {
  const std::u16string folder =
      inFolder(service->root, fromUtf8("probe-" + std::to_string(index)));
  InputDocument document;
  document.path = inFolder(folder, u"probe.xml");
  document.shownAs = "probe.xml";
  std::string problem;
  if (!makeFolders(folder) ||
      !writeWholeFile(document.path, "<xslvalidate-probe/>\n").empty()) {
    problem = "the folder documents are kept in cannot be written";
  } else {
    double seconds = 0;
    worker->check.documentReference = document.shownAs;
    startRun(service, index, *worker);
    const DocumentResult result =
        checkWithWorker(plan.plan, worker, document, std::u16string(), &seconds);
    const bool stopped = endRun(service, index);
    std::string report;
    if (stopped)
      problem = "the check ran past its time limit";
    else if (result.verdict == Verdict::kNone)
      problem = result.reason + " [" + (result.reasonCode ? result.reasonCode : "") + "]";
    else if (result.validationReport && !readWholeFile(result.validationReportFile, &report))
      problem = "its report could not be read back";
    if (stopped)
      restartEngine(service, index, worker);
  }
  std::error_code ignored;
  std::filesystem::remove_all(fsPath(folder), ignored);
  return problem;
}

// Checks the probe document under the plan in use and records whether it
// got a verdict; says on standard error when that changes.
void probeHealth(Service* service, size_t index, BatchWorker* worker) {
  std::shared_ptr<const LoadedPlan> plan;
  {
    std::lock_guard lock(service->mutex);
    plan = service->plan;
  }
  const std::string problem = checkProbe(service, index, worker, *plan);
  bool changed;
  {
    std::lock_guard lock(service->mutex);
    changed = service->metrics.probeOk != problem.empty();
    service->metrics.probeOk = problem.empty();
    service->probing = false;
    service->probeDue = Clock::now() + std::chrono::seconds(kProbeSeconds);
  }
  service->changed.notify_all();
  if (changed && problem.empty())
    std::fputs("xslvalidate-verdict: the probe document gets a verdict again: health UP\n",
               stderr);
  else if (changed)
    std::fprintf(stderr, "xslvalidate-verdict: the probe document got no verdict, health "
                 "DOWN: %s\n", visible(problem).c_str());
}

// Warms `plan` up with the worker, checks the probe document under it, and
// puts it in use when every compile was made and ran and the probe got a
// verdict, unless a newer one is being warmed up by then. Otherwise the
// plan in use serves on; the first plan refused ends the service.
void warmUpPlan(Service* service, size_t index, BatchWorker* worker,
                std::shared_ptr<const LoadedPlan> plan) {
  bool stopped = false;
  const WarmUpOutcome warmed = warmUp(plan->plan, worker, [&] {
    stopped = endRun(service, index) || stopped;
    startRun(service, index, *worker);
  });
  stopped = endRun(service, index) || stopped;
  if (stopped)
    restartEngine(service, index, worker);
  // A server lost on the way that none could replace warmed nothing: the
  // plan waits for a worker with a server.
  const bool attached = stopped ? worker->started : attachWorker(service, index, worker);
  std::string problem = warmed.problem, code;
  if (!problem.empty())
    code = warmed.compiled < warmed.runs ? kReloadNotCompiled : kReloadWarmUpFailed;
  if (stopped && problem.empty())
    problem = "a warm-up run ran past the check time limit", code = kReloadWarmUpFailed;
  if (problem.empty() && attached) {
    problem = checkProbe(service, index, worker, *plan);
    if (!problem.empty())
      problem = "the probe document got no verdict: " + problem, code = kReloadProbeFailed;
  }
  bool reloaded;
  {
    std::lock_guard lock(service->mutex);
    if (service->warming)
      return;  // a newer plan came meanwhile: it goes in use once warmed up
    if (!attached) {
      service->warming = std::move(plan);
      service->changed.notify_all();
      return;
    }
    reloaded = service->metrics.ready;
    if (!problem.empty() && !reloaded) {
      service->startFailed = true;
    } else if (!problem.empty()) {
      ++service->metrics.failedReloads;
      service->metrics.lastReloadFailure = code;
    } else {
      service->plan = std::move(plan);
      service->metrics.ready = true;
      service->metrics.warmed = warmed.compiled;
      service->metrics.probeOk = true;
      service->probeDue = Clock::now() + std::chrono::seconds(kProbeSeconds);
    }
  }
  if (!problem.empty() && !reloaded)
    std::fprintf(stderr, "xslvalidate-verdict: configuration-invalid: %zu of %zu compiles "
                 "warmed up: %s\n", warmed.ran, warmed.runs, visible(problem).c_str());
  else if (!problem.empty())
    std::fprintf(stderr, "xslvalidate-verdict: reload refused, the configuration in use goes "
                 "on: %zu of %zu compiles warmed up: %s [%s]\n", warmed.ran, warmed.runs,
                 visible(problem).c_str(), code.c_str());
  else
    std::fprintf(stderr, "xslvalidate-verdict: configuration %s, %zu compiles warmed up\n",
                 reloaded ? "reloaded" : "ready", warmed.compiled);
}

// Writes the answer of `request` straight to its socket when its client
// has half-closed the connection after sending the whole request: the
// HTTP library takes that end of input for a connection gone and would
// close it unanswered. Runs while the connection is suspended, so nothing
// else uses the socket; the library then only closes it. Returns whether
// the answer was written so.
bool answerHalfClosed(Service* service, Request* request) {
  std::lock_guard lock(service->connectionsMutex);
  const auto open = service->connections.find(request->connection);
  if (open == service->connections.end())
    return false;
  const int socket = open->second.socket;
  char peek;
  if (recv(socket, &peek, 1, MSG_PEEK | MSG_DONTWAIT) != 0)
    return false;  // more bytes, an error, or nothing yet: not half-closed
  std::string head = "HTTP/1.1 " + std::to_string(request->status) + " " +
                     MHD_get_reason_phrase_for(request->status) +
                     "\r\nContent-Type: " + request->contentType +
                     "\r\nContent-Length: " + std::to_string(request->text.size()) +
                     "\r\nConnection: close\r\n";
  if (!request->reasonCode.empty())
    head += "X-Reason-Code: " + request->reasonCode + "\r\n";
  if (request->retryAfter)
    head += std::string("Retry-After: ") + request->retryAfter + "\r\n";
  const std::string bytes = head + "\r\n" + request->text;
  const auto deadline = Clock::now() + std::chrono::seconds(service->settings->readSeconds);
  for (size_t sent = 0; sent < bytes.size() && Clock::now() < deadline;) {
    const ssize_t wrote =
        ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (wrote > 0) {
      sent += static_cast<size_t>(wrote);
    } else if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      pollfd writable{socket, POLLOUT, 0};
      poll(&writable, 1, 100);
    } else {
      break;
    }
  }
  request->writtenDirectly = true;
  return true;
}

// Hands the answered `request` back to its connection.
void resume(Service* service, Request* request) {
  answerHalfClosed(service, request);
  MHD_resume_connection(request->connection);
}

// Answers `request`, which no engine server can check now: 503.
void answerUnavailable(Service* service, Request* request) {
  request->retryAfter = kServerRetryAfter;
  answerText(request, 503, "no engine server could be had to check the document",
             reason_code::kEngineUnavailable);
  resume(service, request);
}

// A worker: warms plans up and checks documents, each on an engine server.
// Without one it tries again before each document it takes, and every few
// seconds while it has nothing to do; a plan waits for a worker with one.
void work(Service* service, size_t index) {
  BatchWorker worker;
  worker.check.bundled = &service->bundled;
  attachWorker(service, index, &worker);
  {
    std::unique_lock lock(service->mutex);
    ++service->started;
    service->changed.notify_all();
    service->changed.wait(lock, [&] { return service->guarded; });
  }
  makeScratch(&worker);
  for (;;) {
    Request* request = nullptr;
    std::shared_ptr<const LoadedPlan> plan;
    bool probe = false;
    {
      std::unique_lock lock(service->mutex);
      const auto probeNow = [&] {
        return worker.started && service->metrics.ready && !service->probing &&
               Clock::now() >= service->probeDue;
      };
      const auto hasWork = [&] {
        return service->stopping || (service->warming && worker.started) ||
               !service->waiting.empty() || probeNow();
      };
      // Woken by the probe's time too, unless another worker is on it.
      if (worker.started && service->metrics.ready && !service->probing)
        service->changed.wait_until(lock, service->probeDue, hasWork);
      else if (worker.started)
        service->changed.wait(lock, hasWork);
      else
        service->changed.wait_for(lock, std::chrono::seconds(kServerRetrySeconds), hasWork);
      if (service->warming && worker.started) {
        plan = std::move(service->warming);
        service->warming.reset();
      } else if (!service->waiting.empty()) {
        request = service->waiting.front();
        service->waiting.pop_front();
        plan = service->plan;
        --service->metrics.queued;
      } else if (service->stopping) {
        break;
      } else if (probeNow()) {
        service->probing = true;
        probe = true;
      }
    }
    if (probe) {
      probeHealth(service, index, &worker);
      continue;
    }
    if (!worker.started && !attachWorker(service, index, &worker)) {
      if (request)
        answerUnavailable(service, request);
      continue;
    }
    if (plan && request == nullptr) {
      warmUpPlan(service, index, &worker, std::move(plan));
      continue;
    }
    if (request == nullptr)
      continue;  // a retry while idle that found a server
    InputDocument document;
    document.path = request->document;
    document.shownAs = request->name;
    double seconds = 0;
    worker.check.documentReference = request->name;
    startRun(service, index, worker);
    DocumentResult result =
        checkWithWorker(plan->plan, &worker, document, std::u16string(), &seconds);
    const bool stopped = endRun(service, index);
    if (stopped) {
      result.verdict = Verdict::kNone;
      result.reason = "the check ran longer than " +
                      std::to_string(service->settings->checkSeconds) +
                      " s (--check-timeout) and was stopped";
      result.reasonCode = reason_code::kTimeLimit;
      result.validationReport.reset();
    } else if (result.verdict == Verdict::kNone &&
               result.runMessages.find(XSLVALIDATE_SERVER_LOST_MESSAGE) != std::string::npos) {
      // Whichever step its server ended in (a rule set, the report), the
      // check failed for its engine: the code a rule set's failure has.
      result.reasonCode = reason_code::kRuleEngineError;
      result.reason = "the engine server ended during the check";
      result.validationReport.reset();
    }
    if (!stopped && result.verdict == Verdict::kNone && !attachWorker(service, index, &worker)) {
      // Its runs failed for want of a server, which none can be had to
      // replace: the document was not checked.
      answerUnavailable(service, request);
      continue;
    }
    // The engine's words are the operator's, never the client's.
    if (!result.runMessages.empty())
      std::fprintf(stderr, "xslvalidate-verdict: %s %s: the engine said: %s\n",
                   visible(request->path).c_str(), visible(request->name).c_str(),
                   visible(result.runMessages).c_str());
    answerChecked(request, result, privateFolders(*service, *plan));
    resume(service, request);
    if (stopped)
      restartEngine(service, index, &worker);
  }
  stopWorker(&worker);
}

// Stops the engine run of every worker past its check time limit; ends
// once the workers have.
void watch(Service* service) {
  std::unique_lock lock(service->mutex);
  while (service->watching) {
    const Clock::time_point now = Clock::now();
    Clock::time_point next = Clock::time_point::max();
    for (WorkerSlot& slot : service->slots) {
      if (!slot.busy || slot.stopped)
        continue;
      if (slot.deadline <= now) {
        // A worker's runs are only ever on an engine server, where they
        // can be stopped; its check is answered as stopped once it ends.
        if (slot.thread == nullptr || xslvalidate_stop_run(slot.thread) != 0)
          std::fputs("xslvalidate-verdict: a check past its time limit could not be "
                     "stopped\n", stderr);
        slot.stopped = true;
      } else {
        next = std::min(next, slot.deadline);
      }
    }
    if (next == Clock::time_point::max())
      service->changed.wait(lock);
    else
      service->changed.wait_until(lock, next);
  }
}

// Sets by when the request `connection` is receiving must be whole.
void setReadDeadline(Service* service, MHD_Connection* connection, Clock::time_point deadline) {
  std::lock_guard lock(service->connectionsMutex);
  const auto open = service->connections.find(connection);
  if (open != service->connections.end())
    open->second.deadline = deadline;
  service->connectionsChanged.notify_all();
}

// A connection opened (its first request's clock starts) or closed.
void onConnection(void* cls, MHD_Connection* connection, void**,
                  MHD_ConnectionNotificationCode code) {
  Service* service = static_cast<Service*>(cls);
  std::lock_guard lock(service->connectionsMutex);
  if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
    service->connections.erase(connection);
    return;
  }
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  if (info == nullptr)
    return;
  service->connections[connection] = OpenConnection{
      info->connect_fd, Clock::now() + std::chrono::seconds(service->settings->readSeconds)};
  service->connectionsChanged.notify_all();
}

// Shuts the socket of every connection whose request is not whole by its
// deadline, headers included: the HTTP library's own timeout is one of
// inactivity, which a client sending a byte now and then never reaches.
// The library then sees the connection end and closes it. Ends once
// readWatching is false.
void watchReads(Service* service) {
  std::unique_lock lock(service->connectionsMutex);
  while (service->readWatching) {
    const Clock::time_point now = Clock::now();
    Clock::time_point next = now + std::chrono::seconds(1);
    for (auto& [connection, open] : service->connections) {
      if (open.deadline <= now) {
        shutdown(open.socket, SHUT_RDWR);
        open.deadline = Clock::time_point::max();
      } else {
        next = std::min(next, open.deadline);
      }
    }
    service->connectionsChanged.wait_until(lock, next);
  }
}

MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url,
                     const char* method, const char*, const char* upload,
                     size_t* uploadSize, void** slot) {
  Service* service = static_cast<Service*>(cls);
  Request* request = static_cast<Request*>(*slot);
  if (request == nullptr) {
    request = new Request;
    request->method = method;
    request->path = url;
    request->connection = connection;
    *slot = request;
    begin(service, request, connection);
    // A refused framing is answered before any body byte is read.
    return request->closeAfter ? send(connection, request) : MHD_YES;
  }
  if (*uploadSize > 0) {
    // Body bytes: kept while within the limit, dropped past it. A client
    // that takes longer than the read time limit loses its connection.
    const std::chrono::duration<double> took = Clock::now() - request->start;
    if (took.count() > service->settings->readSeconds)
      return MHD_NO;
    request->size += *uploadSize;
    if (request->size > service->settings->maxBody)
      request->tooLarge = true;
    if (request->body && !request->tooLarge && !request->failed &&
        std::fwrite(upload, 1, *uploadSize, request->body) != *uploadSize)
      request->failed = true;
    *uploadSize = 0;
    return MHD_YES;
  }
  // The whole request is in: the read watch no longer times it.
  setReadDeadline(service, connection, Clock::time_point::max());
  if (request->writtenDirectly)
    return MHD_NO;  // answered on the socket already: the library closes it
  if (request->answered)
    return send(connection, request);
  if (request->queued)
    return MHD_YES;  // resumed before the answer: cannot happen, wait on
  if (request->body && std::fclose(request->body) != 0)
    request->failed = true;
  request->body = nullptr;
  if (request->tooLarge) {
    answerText(request, 413, "the document is larger than " +
                                 std::to_string(service->settings->maxBody) + " bytes",
               "body-too-large");
  } else if (request->failed) {
    answerText(request, 500, "the document could not be kept in a temporary file",
               "internal-error");
  } else if (request->size == 0) {
    answerText(request, 400, "no document: the request has no body", "no-body");
  } else {
    std::lock_guard lock(service->mutex);
    if (service->metrics.inFlight >=
        static_cast<long long>(service->metrics.workers + service->settings->queue)) {
      request->retryAfter = "1";
      answerText(request, 503, "busy: every worker is checking and the queue is full", "busy");
    } else {
      request->queued = true;
      ++service->metrics.inFlight;
      ++service->metrics.queued;
      service->waiting.push_back(request);
      MHD_suspend_connection(connection);
      service->changed.notify_all();
      return MHD_YES;
    }
  }
  return send(connection, request);
}

// The access log line and the metrics of a finished request, and the
// removal of its folder.
void onCompleted(void* cls, MHD_Connection* connection, void** slot,
                 MHD_RequestTerminationCode) {
  Service* service = static_cast<Service*>(cls);
  // The next request on a kept connection has the same time to come in.
  setReadDeadline(service, connection,
                  Clock::now() + std::chrono::seconds(service->settings->readSeconds));
  Request* request = static_cast<Request*>(*slot);
  if (request == nullptr)
    return;
  *slot = nullptr;
  if (request->body)
    std::fclose(request->body);
  if (!request->folder.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(fsPath(request->folder), ignored);
  }
  const std::chrono::duration<double> took = Clock::now() - request->start;
  {
    std::lock_guard lock(service->mutex);
    if (request->queued)
      --service->metrics.inFlight;
    service->metrics.record(request->answered ? request->status : 0, took.count());
  }
  char when[32] = "";
  const std::time_t now = std::time(nullptr);
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  std::fprintf(stderr, "%s %s %s %s %llu %d %s %.0fms\n", when, request->method.c_str(),
               visible(request->path).c_str(),
               request->name.empty() ? "-" : visible(request->name).c_str(), request->size,
               request->answered ? request->status : 0,
               request->reasonCode.empty() ? "-" : request->reasonCode.c_str(),
               took.count() * 1000);
  delete request;
}

}  // namespace

std::string readTokenFile(const std::u16string& file, std::string* token) {
  // Opened without waiting for a writer (a FIFO), and judged by what the
  // open file is, after every link: a Kubernetes Secret is a link.
  token->clear();
  const int descriptor =
      open(fsPath(file).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (descriptor < 0)
    return std::string("it cannot be opened: ") + std::strerror(errno);
  struct stat status {};
  std::string problem;
  if (fstat(descriptor, &status) != 0)
    problem = std::string("it cannot be examined: ") + std::strerror(errno);
  else if (!S_ISREG(status.st_mode))
    problem = "it is not a regular file";
  else if (status.st_size > kMaxTokenFile)
    problem = "it is larger than " + std::to_string(kMaxTokenFile) + " bytes";
  else if ((status.st_mode & 007) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    problem = std::string("others may use it (mode ") + mode + "); chmod o-rwx it";
  }
  char block[kMaxTokenFile + 1];
  ssize_t got = 0;
  while (problem.empty() && token->size() <= kMaxTokenFile &&
         (got = read(descriptor, block, sizeof block)) > 0)
    token->append(block, static_cast<size_t>(got));
  if (problem.empty() && got < 0)
    problem = std::string("it cannot be read: ") + std::strerror(errno);
  else if (problem.empty() && token->size() > kMaxTokenFile)
    problem = "it is larger than " + std::to_string(kMaxTokenFile) + " bytes";
  close(descriptor);
  while (!token->empty() && (token->back() == '\n' || token->back() == '\r' ||
                             token->back() == ' '))
    token->pop_back();
  if (problem.empty() && token->empty())
    problem = "it is empty";
  if (!problem.empty())
    token->clear();
  return problem;
}

namespace {

// When each configuration file was last changed, to see a change.
std::vector<long long> configurationTimes(const std::vector<std::u16string>& files) {
  std::vector<long long> times;
  for (const std::u16string& file : files)
    times.push_back(fileIdentity(file).modified);
  return times;
}

// Loads the configurations again and has them warmed up and put in use,
// or says why not; the plan in use serves meanwhile and stays when they
// are refused.
void reloadPlan(Service* service, const PlanLoader& reload, std::vector<long long>* times) {
  auto loaded = std::make_shared<LoadedPlan>();
  const std::string refused = reload(loaded.get());
  if (!refused.empty()) {
    {
      std::lock_guard lock(service->mutex);
      ++service->metrics.failedReloads;
      service->metrics.lastReloadFailure = kReloadRefused;
    }
    std::fprintf(stderr, "xslvalidate-verdict: reload refused, the configuration in use "
                         "goes on: %s [%s]\n", visible(refused).c_str(), kReloadRefused);
    return;
  }
  *times = configurationTimes(loaded->sources);
  // The plan in use serves until a worker has warmed the new one up.
  {
    std::lock_guard lock(service->mutex);
    service->warming = std::move(loaded);
  }
  service->changed.notify_all();
}

}  // namespace

bool attachToEngineServer(EngineEnvironment* environment) {
  return xslvalidate_attach_to_server(&environment->thread) == 0;
}

int runDaemon(const LoadedPlan& first, const DaemonSettings& settings, const PlanLoader& reload) {
  Service service;
  service.plan = std::make_shared<LoadedPlan>(first);
  service.settings = &settings;
  if (!settings.tokenFile.empty()) {
    const std::string problem = readTokenFile(settings.tokenFile, &service.token);
    if (!problem.empty()) {
      std::fprintf(stderr, "xslvalidate-verdict: the token file %s is refused: %s\n",
                   shown(settings.tokenFile).c_str(), problem.c_str());
      return kUsageError;
    }
  }
  sockaddr_storage address{};
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_ALLOW_SUSPEND_RESUME |
                   MHD_USE_ERROR_LOG;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (inet_pton(AF_INET, settings.host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<uint16_t>(settings.port));
  } else if (inet_pton(AF_INET6, settings.host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<uint16_t>(settings.port));
    flags |= MHD_USE_IPv6;
  } else {
    std::fprintf(stderr, "xslvalidate-verdict: --host takes an IPv4 or IPv6 address, not %s\n",
                 visible(settings.host).c_str());
    return kUsageError;
  }
  service.root = makeScratchFolder();
  if (service.root.empty()) {
    std::fputs("xslvalidate-verdict: no temporary folder could be made\n", stderr);
    return kNoVerdict;
  }
  const int rootSlot = holdScratchFolder(service.root);

  // The workers, each with its engine made on its own thread.
  const unsigned workers = settings.threads != 0 ? settings.threads : processorCount();
  service.metrics.workers = workers;
  service.slots.resize(workers);
  service.withoutServer.resize(workers);
  service.warming = service.plan;  // the first free worker warms it up
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < workers; ++i)
    threads.emplace_back(work, &service, i);
  std::thread watcher(watch, &service);
  std::thread readWatcher(watchReads, &service);
  {
    std::unique_lock lock(service.mutex);
    service.changed.wait(lock, [&] { return service.started == threads.size(); });
    installScratchCleanup();
    placeBundledStylesheets(service.root, &service.bundled);
    service.guarded = true;
  }
  service.changed.notify_all();

  // SIGTERM and SIGINT drain instead of ending at once: their handler,
  // installed over the clean-up's, only wakes the main thread.
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::perror("xslvalidate-verdict: pipe");
    return kNoVerdict;
  }
  wakeWrite = pipeEnds[1];
  struct sigaction drain {};
  drain.sa_handler = onSignal;
  sigemptyset(&drain.sa_mask);
  drain.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &drain, nullptr);
  sigaction(SIGINT, &drain, nullptr);
  sigaction(SIGHUP, &drain, nullptr);

  MHD_Daemon* daemon = MHD_start_daemon(
      flags, static_cast<uint16_t>(settings.port), nullptr, nullptr, &onRequest, &service,
      MHD_OPTION_SOCK_ADDR, &address,
      MHD_OPTION_CONNECTION_TIMEOUT, settings.idleSeconds,
      MHD_OPTION_CONNECTION_LIMIT, settings.connections,
      MHD_OPTION_NOTIFY_COMPLETED, &onCompleted, &service,
      MHD_OPTION_NOTIFY_CONNECTION, &onConnection, &service,
      MHD_OPTION_END);
  int status = 0;
  if (daemon == nullptr) {
    std::fprintf(stderr, "xslvalidate-verdict: cannot listen on %s port %u\n",
                 visible(settings.host).c_str(), settings.port);
    status = kUsageError;
  } else {
    std::fprintf(stderr, "xslvalidate-verdict: serving on %s port %u with %u workers; "
                 "documents are kept under %s while checked\n",
                 visible(settings.host).c_str(), settings.port, workers,
                 shown(service.root).c_str());
    // SIGHUP or a changed configuration file (looked at every second)
    // reloads; SIGTERM or SIGINT ends the loop.
    std::vector<long long> times = configurationTimes(first.sources);
    for (bool serving = true; serving;) {
      pollfd wake{pipeEnds[0], POLLIN, 0};
      bool hangUp = false;
      if (poll(&wake, 1, 1000) > 0) {
        char signals[16];
        const ssize_t got = read(pipeEnds[0], signals, sizeof signals);
        for (ssize_t i = 0; i < got; ++i)
          if (signals[i] == SIGHUP)
            hangUp = true;
          else
            serving = false;
      }
      {
        std::lock_guard lock(service.mutex);
        if (service.startFailed) {
          status = kUsageError;
          serving = false;
        }
      }
      if (!serving)
        break;
      // A refused file is read again only once it changes again.
      const std::vector<long long> now = configurationTimes(first.sources);
      if (hangUp || now != times) {
        times = now;
        reloadPlan(&service, reload, &times);
      }
    }
    // Drain: no new connection; the documents taken are answered, for at
    // most the drain time.
    const MHD_socket listening = MHD_quiesce_daemon(daemon);
    if (listening != MHD_INVALID_SOCKET)
      close(listening);
    const auto deadline = Clock::now() + std::chrono::seconds(settings.drainSeconds);
    for (;;) {
      const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
      long long inFlight;
      {
        std::lock_guard lock(service.mutex);
        inFlight = service.metrics.inFlight;
      }
      if ((inFlight == 0 && (info == nullptr || info->num_connections == 0)) ||
          Clock::now() >= deadline)
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    long long left;
    {
      std::lock_guard lock(service.mutex);
      left = service.metrics.inFlight;
    }
    if (left > 0) {
      // The drain time ran out: what is left is not answered; the
      // temporary files go, and the process ends without waiting.
      std::fprintf(stderr, "xslvalidate-verdict: stopped with %lld documents unanswered\n",
                   left);
      std::error_code ignored;
      std::filesystem::remove_all(fsPath(service.root), ignored);
      std::fflush(stderr);
      _exit(0);
    }
    MHD_stop_daemon(daemon);
    std::fputs("xslvalidate-verdict: stopped\n", stderr);
  }
  {
    std::lock_guard lock(service.mutex);
    service.stopping = true;
  }
  service.changed.notify_all();
  for (std::thread& thread : threads)
    thread.join();
  {
    std::lock_guard lock(service.mutex);
    service.watching = false;
  }
  service.changed.notify_all();
  watcher.join();
  {
    std::lock_guard lock(service.connectionsMutex);
    service.readWatching = false;
  }
  service.connectionsChanged.notify_all();
  readWatcher.join();
  releaseScratchFolder(rootSlot);
  removeScratchFolder(service.root);
  return status;
}
