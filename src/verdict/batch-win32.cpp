// The batch on Windows: the toolchain's thread model has no std::thread,
// and the engine makes a whole isolate per thread, so one worker checks
// the documents one at a time on the calling thread; --jobs is accepted
// and has no effect.
#include "verdict/batch.h"

#include "verdict/batch_worker.h"
#include "verdict/scratch_guard.h"

void checkBatch(const CheckPlan& plan, const std::vector<InputDocument>& documents,
                const std::u16string& reportDir, size_t, const ResultSink& sink) {
  if (documents.empty())
    return;
  BatchWorker worker;
  startEngine(&worker);
  installScratchCleanup();
  CallStylesheets call;
  placeCallStylesheets(&call);
  worker.check.bundled = &call.places;
  makeScratch(&worker);
  for (size_t position = 0; position < documents.size(); ++position) {
    double seconds = 0;
    const DocumentResult result =
        checkWithWorker(plan, &worker, documents[position], reportDir, &seconds);
    sink(position, result, seconds);
  }
  stopWorker(&worker);
  removeCallStylesheets(&call);
}
