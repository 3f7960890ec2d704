// The five engine calls on Saxon-HE, in the user's engine server or inside
// the process's Java VM.
//
// Unless XSLVALIDATE_SERVER is "off", graal_create_isolate first connects to
// the user's engine server (client.h), and each run goes to the server, or
// here when the server cannot take it. Otherwise, in-process.
//
// Handles: the isolate thread is the calling thread's session (a
// thread-local record: a server connection or the process's JVM); the
// isolate is the connection or the JavaVM; processor data is a handle from
// option_list.h, which the run takes (one run per list; a later run with
// the same handle fails as unknown processor data). A second graal_create_isolate on a thread returns its open
// session; "attached" is the library's own record: the caller's threads
// never enter the JVM themselves, each run does on a thread of its own
// (java_vm.h). Statuses of j_run_transform: 0
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
// standard error goes to that file instead (created or truncated). A
// transform may add "-l:on": its source document keeps line and column
// numbers, which its stylesheet reads with line-number($node) and
// column-number($node) in the namespace urn:xslvalidate:source-lines
// (both -1 without the option).
// doc/schema-step.md has the whole of it.
//
// Option values are file names as UTF-8. One that is not valid UTF-8 is
// refused (status 2), never opened under a substitute name. Relative names
// are taken against the working directory the process had when the JVM was
// created (Java's user.dir), so callers should not change directory after
// graal_create_isolate.
// The library is built with hidden visibility; only these five calls and
// the three of engine_service.h are exported (exports.map keeps it so).
#pragma GCC visibility push(default)
#include "engine/engine_api.h"
#include "engine/engine_service.h"
#pragma GCC visibility pop

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "client.h"
#include "jvmcore/debug.h"
#include "jvmcore/java_vm.h"
#include "jvmcore/utf16.h"
#include "option_list.h"
#include "run_messages.h"
#include "text/escaped.h"

namespace {

// What a thread handle stands for: the calling thread's session with the
// engine, either a connection to the user's engine server or the process's
// own JVM. Each thread has one record, and its handle is the record's
// address: a handle is taken only on its own thread and only while open,
// which is told by comparing addresses, never by reading through a handle
// that may be stale or foreign.
struct Session {
  enum class Kind { kClosed, kServer, kInProcess };
  Kind kind = Kind::kClosed;
  ServerConnection* server = nullptr;  // kServer only
  bool serverOnly = false;  // xslvalidate_server_only: never in-process
  std::string inProcessWhy;  // kInProcess: why no server was had
  // Held to replace or close `server`, and by xslvalidate_stop_run from
  // another thread, so that a stop never reaches a closed connection.
  std::mutex serverLock;
};
thread_local Session tSession;

graal_isolatethread_t* handleOf(Session* session) {
  return reinterpret_cast<graal_isolatethread_t*>(session);
}

// The calling thread's open session when `thread` is its handle; nullptr
// otherwise (another thread's handle, a closed one, or none).
Session* openSession(graal_isolatethread_t* thread) {
  if (!thread || thread != handleOf(&tSession) || tSession.kind == Session::Kind::kClosed)
    return nullptr;
  return &tSession;
}

// Reports on standard error that `call` failed inside (out of memory or
// another C++ exception) and returns `result`.
template <typename T>
T failedCall(const char* call, T result) {
  std::fprintf(stderr, "%s: failed inside the engine library (out of memory?)\n", call);
  return result;
}

// Gives `session` a fresh connection to an engine server, closing the one
// it had: up to `tries` connects, a moment apart. False, the session
// unchanged, when none could be had.
bool connectAnew(Session* session, int tries) {
  ServerConnection* fresh = connectToEngineServer();
  for (int i = 1; !fresh && i < tries; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100 * i));
    fresh = connectToEngineServer();
  }
  if (!fresh) return false;
  std::lock_guard lock(session->serverLock);
  if (session->kind == Session::Kind::kServer) closeServerConnection(session->server);
  session->kind = Session::Kind::kServer;
  session->server = fresh;
  return true;
}

// The body of j_run_transform.
int runTransform(graal_isolatethread_t* thread, long long processorData) {
  Session* session = openSession(thread);
  if (!session) {
    std::fputs("j_run_transform: the calling thread is not attached to the engine\n", stderr);
    return 1;
  }
  const auto options = takeOptions(processorData);  // the run owns its list
  if (!options) {
    std::fprintf(stderr, "j_run_transform: unknown processor data %lld\n", processorData);
    return 1;
  }
  std::vector<std::u16string> args;
  args.reserve(options->size());
  for (const std::string& option : *options) {
    auto text = utf8ToUtf16(option);
    if (!text) {
      tellRun(*options, RunMessageMoment::kBeforeTheRun,
              "Cannot represent the file name in option " + escaped(option) +
                  ": it is not valid UTF-8, and the engine takes file names only as Unicode text");
      return 2;
    }
    args.push_back(std::move(*text));
  }
  // Every run says which route it took, and why when in-process.
  std::string inProcessWhy = session->inProcessWhy;
  if (session->kind == Session::Kind::kServer) {
    ServerRun run = runOnEngineServer(session->server, *options);
    // The server retired or went away before the run: the next one takes
    // it (a retiring server's warm successor, or one that connecting
    // starts when none listens), for every caller, as a JVM of the
    // caller's own would start cold. A caller that may run in-process
    // tries once, so a stuck server costs it one wait; a server-only one a
    // few times, a moment apart, as a retiring server may still take a
    // connection it then closes.
    const int reconnects = session->serverOnly ? 5 : 1;
    for (int tries = 0; tries < reconnects && run.state == ServerRunState::kNotStarted &&
                        serverConnectionLost(session->server);
         ++tries) {
      if (tries > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100 * tries));
      debugLine("the engine server closed the connection: connecting anew");
      if (!connectAnew(session, 1)) break;
      run = runOnEngineServer(session->server, *options);
    }
    if (run.state == ServerRunState::kNotStarted && session->serverOnly) {
      debugLine("engine run: none (%s; this caller runs nothing in its own process)",
                run.whyNotStarted.c_str());
      tellRun(*options, RunMessageMoment::kBeforeTheRun,
              "jvmengine: no engine server took the run, and this caller makes none "
              "in its own process; the run counts as failed");
      return 2;
    }
    if (run.state == ServerRunState::kLost) {
      tellRun(*options, RunMessageMoment::kAfterTheRun, XSLVALIDATE_SERVER_LOST_MESSAGE);
    } else if (run.state == ServerRunState::kStopped) {
      tellRun(*options, RunMessageMoment::kAfterTheRun,
              "jvmengine: the run was stopped by its caller");
    }
    if (run.state != ServerRunState::kNotStarted) {
      debugLine("engine run served by the engine server (process %d)",
                serverProcessOf(session->server));
      return run.status;
    }
    inProcessWhy = run.whyNotStarted;
    if (!startJavaVm()) return 1;  // the run the server could not take, here
  }
  debugLine("engine run in-process (%s)", inProcessWhy.c_str());
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
    // A thread that has a session already keeps it.
    if (tSession.kind == Session::Kind::kClosed) {
      if (ServerConnection* server = connectToEngineServer(&tSession.inProcessWhy)) {
        std::lock_guard lock(tSession.serverLock);
        tSession.kind = Session::Kind::kServer;
        tSession.server = server;
      } else if (startJavaVm()) {
        tSession.kind = Session::Kind::kInProcess;
      } else {
        return 1;
      }
    }
    // The isolate is the server's connection, or the process's JVM.
    if (isolate) {
      *isolate = tSession.kind == Session::Kind::kServer
                     ? reinterpret_cast<graal_isolate_t*>(tSession.server)
                     : reinterpret_cast<graal_isolate_t*>(existingJavaVm());
    }
    if (thread) *thread = handleOf(&tSession);
    return 0;
  } catch (...) {
    return failedCall("graal_create_isolate", 1);
  }
}

int graal_detach_thread(graal_isolatethread_t* thread) {
  try {
    Session* session = openSession(thread);
    if (!session) return 1;
    std::lock_guard lock(session->serverLock);
    if (session->kind == Session::Kind::kServer) closeServerConnection(session->server);
    session->kind = Session::Kind::kClosed;
    session->server = nullptr;
    session->serverOnly = false;
    return 0;
  } catch (...) {
    return failedCall("graal_detach_thread", 1);
  }
}

int xslvalidate_stop_run(graal_isolatethread_t* thread) {
  try {
    // Another thread's session: read through its handle, which its owner
    // keeps attached for as long as this call may come (engine_service.h);
    // its lock keeps the connection from being replaced meanwhile.
    Session* session = reinterpret_cast<Session*>(thread);
    if (!session) return 1;
    std::lock_guard lock(session->serverLock);
    if (session->kind != Session::Kind::kServer) return 1;
    stopServerRun(session->server);
    return 0;
  } catch (...) {
    return failedCall("xslvalidate_stop_run", 1);
  }
}

int xslvalidate_server_only(graal_isolatethread_t* thread) {
  try {
    Session* session = openSession(thread);
    if (!session || session->kind != Session::Kind::kServer) return 1;
    session->serverOnly = true;
    debugLine("this thread's runs go only to an engine server");
    return 0;
  } catch (...) {
    return failedCall("xslvalidate_server_only", 1);
  }
}

int xslvalidate_attach_to_server(graal_isolatethread_t** thread) {
  try {
    if (tSession.kind == Session::Kind::kInProcess) return 1;
    if (tSession.kind == Session::Kind::kClosed || serverConnectionLost(tSession.server)) {
      // A few tries: a server that is ending (stopped, or retiring) may
      // still take a connection it then closes.
      if (!connectAnew(&tSession, 4)) {
        debugLine("no engine server could be had; nothing runs in this process");
        return 1;
      }
    }
    tSession.serverOnly = true;
    if (thread) *thread = handleOf(&tSession);
    return 0;
  } catch (...) {
    return failedCall("xslvalidate_attach_to_server", 1);
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
