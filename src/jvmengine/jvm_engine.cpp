// The five engine calls on Saxon-HE, in the user's engine server or inside
// the process's Java VM.
//
// Unless XSLVALIDATE_SERVER is "off", graal_create_isolate first connects to
// the user's engine server (server/client.h): both handles are then that
// connection, and each run goes to the server, or here when the server
// cannot take it. Otherwise, in-process:
//
// Handles: the isolate is the JavaVM, the isolate thread is a token of the
// calling thread (the address of a thread-local record), and processor data
// is a handle from option_list.h. A second graal_create_isolate returns the
// same JVM and attaches the calling thread; "attached" is the library's own
// record: the caller's threads never enter the JVM themselves, each run does
// on a thread of its own (java_vm.h). Statuses of j_run_transform: 0
// success, 2 a run that failed (as the engine's command line exits), 1 a call the engine cannot serve (no
// JVM, thread not attached, unknown processor data).
//
// No C++ exception leaves these calls. The capacity given to
// createProcessorDataWithCapacity is a hint only.
//
// Besides the transform ("-s:", "-xsl:", "-o:"), j_run_transform runs the
// schema step: with "-s:<document>", one or more "-xsd:<schema file>" and
// "-o:<report>" (any order, no "-xsl:") it validates the document against
// the schemas taken together and writes a schema report,
//   <schema-report xmlns="urn:xslvalidate:schema-report" valid="true|false">
//   <finding severity="warning|error|fatal" line="N" column="N">message</finding>...
//   </schema-report>
// in UTF-8, one finding per problem in document order (line and column 0
// when unknown; a document not well-formed or refused as hostile gives a
// fatal finding). Status 0 once the report is written, valid or not; 2
// with one line on standard error when a schema cannot be read or
// compiled, the document is missing or not a regular file, or the report
// cannot be written. Any run may add "-err:<file>": what it would write on
// standard error goes to that file instead (created or truncated).
// doc/schema-step.md has the whole of it.
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

// Whether the calling thread is attached, and its handle's target.
struct ThreadRecord {
  bool attached = false;
};
thread_local ThreadRecord tCallingThread;

graal_isolatethread_t* callingThreadHandle() {
  return reinterpret_cast<graal_isolatethread_t*>(&tCallingThread);
}

// Whether `thread` is the calling thread's handle, the thread is attached
// and the JVM exists.
bool isAttachedCallingThread(graal_isolatethread_t* thread) {
  return existingJavaVm() && thread && thread == callingThreadHandle() &&
         tCallingThread.attached;
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

// Reports on standard error that `call` failed inside (out of memory or
// another C++ exception) and returns `result`.
template <typename T>
T failedCall(const char* call, T result) {
  std::fprintf(stderr, "%s: failed inside the engine library (out of memory?)\n", call);
  return result;
}

// The body of j_run_transform.
int runTransform(graal_isolatethread_t* thread, long long processorData) {
  const bool onServer = isServerConnection(thread);
  if (!onServer && !isAttachedCallingThread(thread)) {
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
    if (!startJavaVm()) return 1;  // the run the server could not take, here
  }
  return runSaxonTransform(args);
}

}  // namespace

extern "C" {

// No C++ exception crosses these calls: each body runs inside a catch-all
// that reports the failure on standard error and returns the call's failure
// value.

int graal_create_isolate(graal_create_isolate_params_t*, graal_isolate_t** isolate,
                         graal_isolatethread_t** thread) {
  try {
    // With the user's engine server, both handles are the connection to it.
    if (ServerConnection* server = connectToEngineServer()) {
      if (isolate) *isolate = reinterpret_cast<graal_isolate_t*>(server);
      if (thread) *thread = reinterpret_cast<graal_isolatethread_t*>(server);
      return 0;
    }
    JavaVM* vm = startJavaVm();
    if (!vm) return 1;
    tCallingThread.attached = true;
    if (isolate) *isolate = reinterpret_cast<graal_isolate_t*>(vm);
    if (thread) *thread = callingThreadHandle();
    return 0;
  } catch (...) {
    return failedCall("graal_create_isolate", 1);
  }
}

int graal_detach_thread(graal_isolatethread_t* thread) {
  try {
    if (isServerConnection(thread)) {
      closeServerConnection(reinterpret_cast<ServerConnection*>(thread));
      return 0;
    }
    if (!isAttachedCallingThread(thread)) return 1;
    tCallingThread.attached = false;
    return 0;
  } catch (...) {
    return failedCall("graal_detach_thread", 1);
  }
}

long long createProcessorDataWithCapacity(graal_isolatethread_t*, int capacity) {
  try {
    return newOptionList(capacity);
  } catch (...) {
    return failedCall("createProcessorDataWithCapacity", 0);
  }
}

void addProcessorProperty(graal_isolatethread_t*, long long processorData, char* option) {
  try {
    if (!option || !appendOption(processorData, option)) {
      std::fprintf(stderr, "addProcessorProperty: unknown processor data %lld or no option\n",
                   processorData);
    }
  } catch (...) {
    failedCall("addProcessorProperty", 0);
  }
}

int j_run_transform(graal_isolatethread_t* thread, long long processorData) {
  try {
    return runTransform(thread, processorData);
  } catch (...) {
    return failedCall("j_run_transform", 1);
  }
}

}  // extern "C"
