// One batch worker's engine environment, scratch folder and the check of
// one document with them; the runners in batch-posix.cpp (threads) and
// batch-win32.cpp (one at a time) share it.
#ifndef XSLVALIDATE_VERDICT_BATCH_WORKER_H_
#define XSLVALIDATE_VERDICT_BATCH_WORKER_H_

#include <string>
#include <vector>

#include "verdict/check.h"
#include "verdict/inputs.h"

struct BatchWorker {
  EngineEnvironment environment{};
  bool started = false;  // the engine environment was made
  CheckWorker check;     // its `bundled` is set by the runner before the first check
  int held = -1;  // the scratch folder's slot in the signal clean-up
};

// The bundled stylesheets of one batch call, placed once for all its
// workers; a copy that cannot be kept for the user goes in a scratch
// folder of the call's own, held for the signal clean-up.
struct CallStylesheets {
  std::u16string folder;
  int held = -1;
  BundledPlaces places;
};

// Makes the call's folder and places the stylesheets (placeBundledStylesheets);
// `places.problem` says what failed. Call after installScratchCleanup and
// before any worker checks.
void placeCallStylesheets(CallStylesheets* call);

// Removes the call's folder, once no worker checks any more.
void removeCallStylesheets(CallStylesheets* call);

// Makes the worker's engine environment on the calling thread; the
// thread that checks with it must be this one.
void startEngine(BatchWorker* worker);

// Makes the worker's scratch folder, held for the signal clean-up, and
// points the engine's messages into it. Call after installScratchCleanup.
void makeScratch(BatchWorker* worker);

// Checks `document` with the worker: its reports in
// reportFolderOf(document, reportDir), what the engine wrote kept in the
// record, and what the page shows (page_facts.h) when the page is asked
// or the findings' lines are to be had.
// A worker without an engine or whose scratch folder is gone gets them made
// anew first. A document the worker still cannot check (no engine, no
// scratch folder, no report folder) gets a result without verdict and the
// reason.
// `seconds` receives how long it took.
DocumentResult checkWithWorker(const CheckPlan& plan, BatchWorker* worker,
                               const InputDocument& document,
                               const std::u16string& reportDir, double* seconds);

// Detaches the engine environment and removes the scratch folder.
void stopWorker(BatchWorker* worker);

#endif  // XSLVALIDATE_VERDICT_BATCH_WORKER_H_
