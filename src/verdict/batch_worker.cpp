#include "verdict/batch_worker.h"

#include <chrono>
#include <cstdlib>

#include "verdict/host_files.h"
#include "verdict/page_facts.h"
#include "verdict/reason_code.h"
#include "verdict/scratch_guard.h"
#include "verdict/shown.h"

namespace {

// Whether XSLVALIDATE_DEBUG asks for the engine's details.
bool debugAsked() {
  const char* debug = std::getenv("XSLVALIDATE_DEBUG");
  return debug && *debug;
}

// A result without verdict for `document`, for a reason outside the check.
DocumentResult withoutVerdict(const InputDocument& document, std::string reason,
                              const char* code) {
  DocumentResult result;
  result.document = shown(document.path);
  result.verdict = Verdict::kNone;
  result.reason = std::move(reason);
  result.reasonCode = code;
  return result;
}

}  // namespace

void startEngine(BatchWorker* worker) {
  worker->started = createIsolate(&worker->environment) == 0;
  worker->check.environment = worker->started ? &worker->environment : nullptr;
}

void makeScratch(BatchWorker* worker) {
  // No folder once a signal is ending the call: its handler has removed
  // what there was, and would not see a folder made after it.
  if (endingBySignal())
    return;
  worker->check.scratch = makeScratchFolder();
  if (worker->check.scratch.empty())
    return;
  worker->held = holdScratchFolder(worker->check.scratch);
  if (endingBySignal()) {
    releaseScratchFolder(worker->held);
    removeScratchFolder(worker->check.scratch);
    worker->held = -1;
    worker->check.scratch.clear();
    return;
  }
  worker->environment.messagesFile = engineMessagesFile(worker->check.scratch);
}

DocumentResult checkWithWorker(const CheckPlan& plan, BatchWorker* worker,
                               const InputDocument& document,
                               const std::u16string& reportDir, double* seconds) {
  const auto begin = std::chrono::steady_clock::now();
  const std::u16string folder = reportFolderOf(document, reportDir);
  // A worker left without its engine or scratch folder (one that could not
  // start, a folder removed under it) is made anew before each document,
  // so that what broke it costs one document, not all it would take.
  if (!worker->started)
    startEngine(worker);
  if (!worker->check.scratch.empty() && !fileIdentity(worker->check.scratch).exists) {
    releaseScratchFolder(worker->held);
    removeScratchFolder(worker->check.scratch);
    worker->check.scratch.clear();
  }
  if (worker->check.scratch.empty())
    makeScratch(worker);
  DocumentResult result;
  if (!worker->started) {
    result = withoutVerdict(document, "the engine could not be started",
                            reason_code::kEngineFailed);
  } else if (worker->check.scratch.empty()) {
    result = withoutVerdict(document, "no temporary folder could be made",
                            reason_code::kEngineFailed);
  } else if (!folder.empty() && !makeFolders(folder)) {
    result = withoutVerdict(document, "the report folder " + shown(folder) +
                                          " could not be made",
                            reason_code::kOutputUnwritable);
  } else {
    worker->environment.messages.clear();
    worker->environment.compileMessages.clear();
    worker->environment.runMessages.clear();
    const std::u16string pageFolder =
        plan.htmlDir.empty() ? std::u16string() : reportFolderOf(document, plan.htmlDir);
    result = checkDocument(plan, &worker->check, document.path, folder, pageFolder);
    result.engineMessages = std::move(worker->environment.messages);
    result.compileMessages = std::move(worker->environment.compileMessages);
    result.runMessages = std::move(worker->environment.runMessages);
    // A document that is not XML, or a report that could not be written,
    // is said once, in the reason (the parser's line, column and words;
    // the report's own name and the system's words); what each run that
    // met it wrote (Saxon's and the JDK's texts of the same error, naming
    // a private file) is kept only for diagnosis.
    const bool reasonSaysAll =
        result.faultStated || result.reasonCode == reason_code::kOutputUnwritable;
    if (reasonSaysAll && !debugAsked()) {
      result.engineMessages.clear();
      result.runMessages.clear();
    }
    if (wantsPageFacts(plan, result))
      addPageFacts(plan, &worker->check, document.path, &result);
  }
  if (!document.shownAs.empty())
    result.document = document.shownAs;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
  *seconds = took.count();
  return result;
}

void placeCallStylesheets(CallStylesheets* call) {
  if (!endingBySignal())
    call->folder = makeScratchFolder();
  if (call->folder.empty()) {
    call->places.problem = "no temporary folder could be made";
    return;
  }
  call->held = holdScratchFolder(call->folder);
  placeBundledStylesheets(call->folder, &call->places);
}

void removeCallStylesheets(CallStylesheets* call) {
  releaseScratchFolder(call->held);
  call->held = -1;
  if (!call->folder.empty())
    removeScratchFolder(call->folder);
  call->folder.clear();
}

void stopWorker(BatchWorker* worker) {
  if (worker->started)
    graal_detach_thread(worker->environment.thread);
  releaseScratchFolder(worker->held);
  if (!worker->check.scratch.empty())
    removeScratchFolder(worker->check.scratch);
}
