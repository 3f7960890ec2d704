#include "engine/recording_engine_test_support.h"

#include "engine/engine_api.h"

namespace {

RecordingEngine engine;
int isolateToken;
int threadToken;

}  // namespace

RecordingEngine& recordingEngine() { return engine; }

RecordingEngine& resetRecordingEngine() {
  engine = RecordingEngine();
  return engine;
}

void* recordingEngineThread() { return &threadToken; }

extern "C" {

int graal_create_isolate(graal_create_isolate_params_t* params,
                         graal_isolate_t** isolate,
                         graal_isolatethread_t** thread) {
  engine.calls.push_back(params ? "create with params" : "create");
  if (engine.createStatus != 0)
    return engine.createStatus;
  *isolate = reinterpret_cast<graal_isolate_t*>(&isolateToken);
  *thread = reinterpret_cast<graal_isolatethread_t*>(&threadToken);
  return 0;
}

int graal_detach_thread(graal_isolatethread_t* thread) {
  engine.calls.push_back("detach");
  engine.detachedThread = thread;
  return engine.detachStatus;
}

long long createProcessorDataWithCapacity(graal_isolatethread_t* thread,
                                          int capacity) {
  engine.calls.push_back(thread == recordingEngineThread() ? "data"
                                                           : "data on bad thread");
  RecordedRun run;
  run.capacity = capacity;
  engine.runs.push_back(run);
  return static_cast<long long>(engine.runs.size());  // 1-based handle
}

void addProcessorProperty(graal_isolatethread_t* thread,
                          long long processorData, char* option) {
  engine.calls.push_back(thread == recordingEngineThread() ? "add"
                                                           : "add on bad thread");
  engine.runs.at(processorData - 1).options.push_back(option);
}

int j_run_transform(graal_isolatethread_t* thread, long long processorData) {
  engine.calls.push_back(thread == recordingEngineThread() ? "run"
                                                           : "run on bad thread");
  RecordedRun& run = engine.runs.at(processorData - 1);
  run.ran = true;
  return engine.runStatus ? engine.runStatus(run) : 0;
}

}  // extern "C"
