// The engine library's side of the engine server: finds or starts the
// user's server and hands it runs. Every failure here means "run in this
// process instead", never a failed run, until a run has started on the
// server.
#ifndef XSLVALIDATE_JVMENGINE_CLIENT_H_
#define XSLVALIDATE_JVMENGINE_CLIENT_H_

#include <string>
#include <vector>

struct ServerConnection;

// Connects to the calling user's engine server of this build and of this
// process's context (caller_context.h), starting one (detached) when none
// listens, unless XSLVALIDATE_SERVER is "off", the caller sets
// XSLVALIDATE_MAX_HEAP (a setting of a JVM of its own, which a shared
// server cannot honour), or its limits need a process of its own
// (limitsNeedOwnProcess). nullptr whenever the server cannot be had or
// refuses this caller (for example a socket directory of the wrong owner
// or mode, another umask, another context) or does not answer within a few
// seconds: the caller then runs in-process. Writes nothing to standard
// error but, with the debug switch on (debug.h), a line saying which
// server it connected to or started, or why it runs in-process; that
// reason is also put in `*whyNot` when given.
ServerConnection* connectToEngineServer(std::string* whyNot = nullptr);

// What became of a run handed to the server.
enum class ServerRunState {
  kRan,         // the server ran it; `status` is its status
  kNotStarted,  // nothing of it was done: run it in-process
  kLost,        // the server went away during the run; `status` is 2,
                // and the caller says why
  kStopped,     // stopServerRun ended it, or it came after; `status` is 2
};
struct ServerRun {
  ServerRunState state = ServerRunState::kNotStarted;
  int status = 2;
  std::string whyNotStarted;  // kNotStarted: why the server did not run it
};

// The process id of the server at the other end of `connection`.
int serverProcessOf(const ServerConnection* connection);

// Hands the run with `options` (UTF-8 "-s:", "-xsl:", "-o:" options) to the
// server, with this process's current directory (for relative names), its
// environment, its time zone and its standard error, and waits for the
// status. Runs the server cannot carry exactly come back kNotStarted: a
// relative name that names no existing file, a document or stylesheet that
// is a pipe or a device, a name that leads into this process's own /proc
// entries (/dev/stdin), a current directory whose name is not UTF-8, a run
// the server hands back because it cannot serve it as this process would
// (it reads this process's standard input or current directory, say, or
// the server's memory ran out); so does a run the server does not take
// within a few seconds, and every run once the connection has failed; the
// reason is in `whyNotStarted`. The debug switch goes with the run, whose
// trace lines come back on standard error.
ServerRun runOnEngineServer(ServerConnection* connection, const std::vector<std::string>& options);

// Stops the run `connection` is making, from any thread: the connection is
// shut, so the server stops the run and removes its temporary files, and
// that run and every later one on `connection` come back kStopped (never
// in-process). Call it only while `connection` is open; close it and
// connect anew to run again.
void stopServerRun(ServerConnection* connection);

// Whether `connection` failed before a run started (the server closed it:
// retired, or gone), as opposed to one stopped by stopServerRun.
bool serverConnectionLost(const ServerConnection* connection);

// Ends the conversation and frees `connection`.
void closeServerConnection(ServerConnection* connection);

#endif  // XSLVALIDATE_JVMENGINE_CLIENT_H_
