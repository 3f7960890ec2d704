// A test stand-in for the engine library: it implements the five engine
// calls by recording them, so that the driver and the bridge can be tested
// without a real engine. Link it in place of the engine library.
#ifndef XSLVALIDATE_ENGINE_RECORDING_ENGINE_TEST_SUPPORT_H_
#define XSLVALIDATE_ENGINE_RECORDING_ENGINE_TEST_SUPPORT_H_

#include <functional>
#include <string>
#include <vector>

// One processor-data record: the capacity asked for and the options added.
struct RecordedRun {
  int capacity = 0;
  std::vector<std::string> options;  // exact bytes, in the order added
  bool ran = false;
};

struct RecordingEngine {
  // What the calls return; set by a test before running.
  int createStatus = 0;
  int detachStatus = 0;
  // Status of j_run_transform, chosen from the run's options; 0 when unset.
  std::function<int(const RecordedRun&)> runStatus;

  // What happened.
  std::vector<std::string> calls;  // "create", "data", "add", "run", "detach"
  std::vector<RecordedRun> runs;   // one per createProcessorDataWithCapacity
  void* detachedThread = nullptr;
};

// The one recording engine of the process, reset to a fresh state.
RecordingEngine& resetRecordingEngine();
// The one recording engine of the process.
RecordingEngine& recordingEngine();

// The thread handle that the recording engine hands out on creation.
void* recordingEngineThread();

#endif  // XSLVALIDATE_ENGINE_RECORDING_ENGINE_TEST_SUPPORT_H_
