// The five engine calls on Saxon-HE inside the process's Java VM.
//
// Handles: the isolate is the JavaVM, the isolate thread is the calling
// thread's JNIEnv, and processor data is a handle from option_list.h. A
// second graal_create_isolate returns the same JVM and attaches the calling
// thread. Statuses of j_run_transform: 0 success, 2 a run that failed (as
// the engine's command line exits), 1 a call the engine cannot serve (no
// JVM, thread not attached, unknown processor data).
//
// Option values are file names as UTF-8. One that is not valid UTF-8 is
// refused (status 2), never opened under a substitute name. Relative names
// are taken against the working directory the process had when the JVM was
// created (Java's user.dir), so callers should not change directory after
// graal_create_isolate.
// The library is built with hidden visibility; only these five calls are
// exported (exports.map keeps it so).
#pragma GCC visibility push(default)
#include "engine/engine_api.h"
#pragma GCC visibility pop

#include <cstdio>
#include <string>

#include "java_vm.h"
#include "option_list.h"
#include "server/client.h"
#include "utf16.h"

namespace {

graal_isolatethread_t* threadHandle(JNIEnv* env) {
  return reinterpret_cast<graal_isolatethread_t*>(env);
}

// The calling thread's JNIEnv if `thread` is the calling thread's handle and
// the thread is attached; nullptr otherwise.
JNIEnv* callingThreadEnv(graal_isolatethread_t* thread) {
  JavaVM* vm = existingJavaVm();
  if (!vm || !thread) return nullptr;
  JNIEnv* env = nullptr;
  if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_10) != JNI_OK) return nullptr;
  return threadHandle(env) == thread ? env : nullptr;
}

// `bytes` with everything but printable ASCII written as \xNN.
std::string escaped(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      text.push_back(static_cast<char>(c));
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    }
  }
  return text;
}

}  // namespace

extern "C" {

int graal_create_isolate(graal_create_isolate_params_t*, graal_isolate_t** isolate,
                         graal_isolatethread_t** thread) {
  // With the user's engine server, both handles are the connection to it.
  if (ServerConnection* server = connectToEngineServer()) {
    if (isolate) *isolate = reinterpret_cast<graal_isolate_t*>(server);
    if (thread) *thread = reinterpret_cast<graal_isolatethread_t*>(server);
    return 0;
  }
  JNIEnv* env = nullptr;
  JavaVM* vm = startJavaVm(&env);
  if (!vm) return 1;
  if (isolate) *isolate = reinterpret_cast<graal_isolate_t*>(vm);
  if (thread) *thread = threadHandle(env);
  return 0;
}

int graal_detach_thread(graal_isolatethread_t* thread) {
  if (isServerConnection(thread)) {
    closeServerConnection(reinterpret_cast<ServerConnection*>(thread));
    JNIEnv* env = nullptr;  // attached when a run fell back to this process
    JavaVM* vm = existingJavaVm();
    if (vm && vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_10) == JNI_OK) {
      vm->DetachCurrentThread();
    }
    return 0;
  }
  JavaVM* vm = existingJavaVm();
  if (!callingThreadEnv(thread)) return 1;
  return vm->DetachCurrentThread() == JNI_OK ? 0 : 1;
}

long long createProcessorDataWithCapacity(graal_isolatethread_t*, int capacity) {
  return newOptionList(capacity);
}

void addProcessorProperty(graal_isolatethread_t*, long long processorData, char* option) {
  if (!option || !appendOption(processorData, option)) {
    std::fprintf(stderr, "addProcessorProperty: unknown processor data %lld or no option\n",
                 processorData);
  }
}

int j_run_transform(graal_isolatethread_t* thread, long long processorData) {
  const bool onServer = isServerConnection(thread);
  JNIEnv* env = onServer ? nullptr : callingThreadEnv(thread);
  if (!env && !onServer) {
    std::fputs("j_run_transform: the calling thread is not attached to the engine\n", stderr);
    return 1;
  }
  const auto options = optionsOf(processorData);
  if (!options) {
    std::fprintf(stderr, "j_run_transform: unknown processor data %lld\n", processorData);
    return 1;
  }
  std::vector<std::u16string> args;
  args.reserve(options->size());
  for (const std::string& option : *options) {
    auto text = utf8ToUtf16(option);
    if (!text) {
      std::fprintf(stderr,
                   "Cannot represent the file name in option %s: it is not valid UTF-8, "
                   "and the engine takes file names only as Unicode text\n",
                   escaped(option).c_str());
      return 2;
    }
    args.push_back(std::move(*text));
  }
  if (onServer) {
    const ServerRun run = runOnEngineServer(reinterpret_cast<ServerConnection*>(thread), *options);
    if (run.state != ServerRunState::kNotStarted) return run.status;
    if (!startJavaVm(&env)) return 1;  // the run the server could not take, here
  }
  return runSaxonTransform(env, args);
}

}  // extern "C"
