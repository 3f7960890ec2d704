// The batch on POSIX hosts: one thread per worker, each with its own
// engine environment.
#include "verdict/batch.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "verdict/batch_worker.h"
#include "verdict/scratch_guard.h"

namespace {

struct Done {
  DocumentResult result;
  double seconds = 0;
};

// What the workers share with the thread that hands results on.
struct Queue {
  std::mutex mutex;
  std::condition_variable changed;
  size_t next = 0;       // the next document to take
  size_t started = 0;    // workers whose engine environment is made (or failed)
  bool guarded = false;  // the scratch clean-up is installed
  std::vector<std::optional<Done>> done;
};

void work(const CheckPlan& plan, const std::vector<InputDocument>& documents,
          const std::u16string& reportDir, const BundledPlaces* bundled, Queue* queue) {
  BatchWorker worker;
  worker.check.bundled = bundled;
  startEngine(&worker);
  {
    // The scratch folder is made once the clean-up that removes it on a
    // signal is installed, which waits for every engine's own.
    std::unique_lock lock(queue->mutex);
    ++queue->started;
    queue->changed.notify_all();
    queue->changed.wait(lock, [&] { return queue->guarded; });
  }
  makeScratch(&worker);
  for (;;) {
    size_t position;
    {
      std::lock_guard lock(queue->mutex);
      if (queue->next == documents.size())
        break;
      position = queue->next++;
    }
    Done done;
    done.result = checkWithWorker(plan, &worker, documents[position], reportDir, &done.seconds);
    {
      std::lock_guard lock(queue->mutex);
      queue->done[position] = std::move(done);
    }
    queue->changed.notify_all();
  }
  stopWorker(&worker);
}

}  // namespace

void checkBatch(const CheckPlan& plan, const std::vector<InputDocument>& documents,
                const std::u16string& reportDir, size_t jobs, const ResultSink& sink) {
  Queue queue;
  queue.done.resize(documents.size());
  const size_t workers = std::max<size_t>(1, std::min(jobs, documents.size()));
  // Placed by this thread once the clean-up is installed; the workers
  // read it only after `guarded`.
  CallStylesheets call;
  std::vector<std::thread> threads;
  for (size_t i = 0; i < workers && !documents.empty(); ++i)
    threads.emplace_back(work, std::cref(plan), std::cref(documents), std::cref(reportDir),
                         &call.places, &queue);
  {
    std::unique_lock lock(queue.mutex);
    queue.changed.wait(lock, [&] { return queue.started == threads.size(); });
    installScratchCleanup();
    if (!threads.empty())
      placeCallStylesheets(&call);
    queue.guarded = true;
  }
  queue.changed.notify_all();
  for (size_t position = 0; position < documents.size(); ++position) {
    Done done;
    {
      std::unique_lock lock(queue.mutex);
      queue.changed.wait(lock, [&] { return queue.done[position].has_value(); });
      done = std::move(*queue.done[position]);
      queue.done[position].reset();
    }
    sink(position, done.result, done.seconds);
  }
  for (std::thread& thread : threads)
    thread.join();
  removeCallStylesheets(&call);
}
