#include "verdict/batch.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "verdict/host_files.h"
#include "verdict/scratch_guard.h"
#include "verdict/shown.h"

namespace {

struct Done {
  DocumentResult result;
  double seconds = 0;
};

// What the workers share with the thread that hands results on.
struct Queue {
  std::mutex mutex;
  std::condition_variable changed;
  size_t next = 0;  // the next document to take
  size_t started = 0;      // workers whose engine environment is made (or failed)
  bool guarded = false;    // the scratch clean-up is installed
  std::vector<std::optional<Done>> done;
};

// A result without verdict for `document`, for a reason outside the check.
DocumentResult withoutVerdict(const InputDocument& document, std::string reason) {
  DocumentResult result;
  result.document = shown(document.path);
  result.verdict = Verdict::kNone;
  result.reason = std::move(reason);
  return result;
}

void work(const CheckPlan& plan, const std::vector<InputDocument>& documents,
          const std::u16string& reportDir, Queue* queue) {
  EngineEnvironment environment{};
  const bool started = createIsolate(&environment) == 0;
  {
    // The scratch folder is made once the clean-up that removes it on a
    // signal is installed, which waits for every engine's own.
    std::unique_lock lock(queue->mutex);
    ++queue->started;
    queue->changed.notify_all();
    queue->changed.wait(lock, [&] { return queue->guarded; });
  }
  CheckWorker worker{started ? &environment : nullptr, makeScratchFolder()};
  const int held = worker.scratch.empty() ? -1 : holdScratchFolder(worker.scratch);
  if (!worker.scratch.empty())
    environment.messagesFile = engineMessagesFile(worker.scratch);
  for (;;) {
    size_t position;
    {
      std::lock_guard lock(queue->mutex);
      if (queue->next == documents.size())
        break;
      position = queue->next++;
    }
    const InputDocument& document = documents[position];
    const auto begin = std::chrono::steady_clock::now();
    const std::u16string folder = reportFolderOf(document, reportDir);
    DocumentResult result;
    if (!started)
      result = withoutVerdict(document, "the engine could not be started");
    else if (worker.scratch.empty())
      result = withoutVerdict(document, "no temporary folder could be made");
    else if (!folder.empty() && !makeFolders(folder))
      result = withoutVerdict(document, "the report folder " + shown(folder) +
                                            " could not be made");
    else {
      environment.messages.clear();
      result = checkDocument(plan, &worker, document.path, folder);
      result.engineMessages = std::move(environment.messages);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
    {
      std::lock_guard lock(queue->mutex);
      queue->done[position] = Done{std::move(result), took.count()};
    }
    queue->changed.notify_all();
  }
  if (started)
    graal_detach_thread(environment.thread);
  releaseScratchFolder(held);
  if (!worker.scratch.empty())
    removeScratchFolder(worker.scratch);
}

}  // namespace

void checkBatch(const CheckPlan& plan, const std::vector<InputDocument>& documents,
                const std::u16string& reportDir, size_t jobs, const ResultSink& sink) {
  Queue queue;
  queue.done.resize(documents.size());
  const size_t workers = std::max<size_t>(1, std::min(jobs, documents.size()));
  std::vector<std::thread> threads;
  for (size_t i = 0; i < workers && !documents.empty(); ++i)
    threads.emplace_back(work, std::cref(plan), std::cref(documents), std::cref(reportDir),
                         &queue);
  {
    std::unique_lock lock(queue.mutex);
    queue.changed.wait(lock, [&] { return queue.started == threads.size(); });
    installScratchCleanup();
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
}
