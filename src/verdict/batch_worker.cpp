#include "verdict/batch_worker.h"

#include <chrono>

#include "verdict/host_files.h"
#include "verdict/page_facts.h"
#include "verdict/reason_code.h"
#include "verdict/scratch_guard.h"
#include "verdict/shown.h"

namespace {

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
  worker->check.scratch = makeScratchFolder();
  if (worker->check.scratch.empty())
    return;
  worker->held = holdScratchFolder(worker->check.scratch);
  worker->environment.messagesFile = engineMessagesFile(worker->check.scratch);
}

DocumentResult checkWithWorker(const CheckPlan& plan, BatchWorker* worker,
                               const InputDocument& document,
                               const std::u16string& reportDir, double* seconds) {
  const auto begin = std::chrono::steady_clock::now();
  const std::u16string folder = reportFolderOf(document, reportDir);
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
    result = checkDocument(plan, &worker->check, document.path, folder);
    result.engineMessages = std::move(worker->environment.messages);
    if (plan.pageFacts)
      addPageFacts(plan, &worker->check, &worker->pageStylesheet, document.path, &result);
  }
  if (!document.shownAs.empty())
    result.document = document.shownAs;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
  *seconds = took.count();
  return result;
}

void stopWorker(BatchWorker* worker) {
  if (worker->started)
    graal_detach_thread(worker->environment.thread);
  releaseScratchFolder(worker->held);
  if (!worker->check.scratch.empty())
    removeScratchFolder(worker->check.scratch);
}
