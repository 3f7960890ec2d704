#include "client.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>

#include "jvmcore/debug.h"
#include "jvmcore/interrupt_cleanup.h"
#include "jvmcore/own_file.h"
#include "jvmcore/utf16.h"
#include "serverprotocol/caller_context.h"
#include "own_names.h"
#include "serverprotocol/run_request.h"
#include "serverprotocol/socket_place.h"
#include "serverprotocol/wire.h"

extern char** environ;

struct ServerConnection {
  int fd = -1;
  int serverPid = 0;  // the peer's process id, from SO_PEERCRED
  bool broken = false;
  std::atomic<bool> stopped{false};  // set by stopServerRun, from any thread
};

namespace {

// Whether runs go to the server when XSLVALIDATE_SERVER is not set.
constexpr bool kServerByDefault = true;

// How long a client waits for a server it started to listen: a few times
// what starting a JVM takes on a busy machine, after which it runs
// in-process (the server still comes up for later callers).
constexpr int kStartWaitMilliseconds = 10000;

// How long each step before a run starts may take (connecting, the
// greeting, taking the start lock, the server's word that it took the run):
// a server that is stopped or stuck must not hold its callers.
constexpr int kStepWaitMilliseconds = 3000;

// Why runs do not go to the server; nullptr when they do. A maximum heap
// of the caller's own is a setting of its own JVM, which a server started
// for another caller would not honour; some limits count what a whole
// process uses (caller_context.h).
const char* whyNoServer() {
  const char* heap = std::getenv("XSLVALIDATE_MAX_HEAP");
  if (heap && *heap) return "XSLVALIDATE_MAX_HEAP is set, for a JVM of this process's own";
  if (limitsNeedOwnProcess()) {
    return "a limit of CPU time, address space, data size or few open files, for a process "
           "of this caller's own";
  }
  const char* setting = std::getenv("XSLVALIDATE_SERVER");
  if (setting && std::strcmp(setting, "off") == 0) return "XSLVALIDATE_SERVER=off";
  if ((setting && std::strcmp(setting, "on") == 0) || kServerByDefault) return nullptr;
  return "off by default";
}

// Where connectToEngineServer puts why the server is not used.
thread_local std::string* tWhyNot = nullptr;

// Traces that the server is not used, and why; returns nullptr.
ServerConnection* notUsed(const char* why) {
  debugLine("engine server not used (%s): runs in-process", why);
  if (tWhyNot) *tWhyNot = why;
  return nullptr;
}

// This process's umask, read without changing it (umask() would, for a
// moment, for every thread).
std::optional<unsigned> currentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<unsigned>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return std::nullopt;
}

// Makes every send and receive on `fd` give up after kStepWaitMilliseconds
// (`bounded`), or wait as long as it takes.
bool boundWaits(int fd, bool bounded) {
  timeval limit{};
  if (bounded) {
    limit.tv_sec = kStepWaitMilliseconds / 1000;
    limit.tv_usec = (kStepWaitMilliseconds % 1000) * 1000;
  }
  return setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0 &&
         setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0;
}

// Takes the exclusive lock on `fd`, waiting at most kStartWaitMilliseconds
// plus a step (what a client holding it to start the server may take).
bool lockWithin(int fd) {
  for (int waited = 0; waited < kStartWaitMilliseconds + kStepWaitMilliseconds; waited += 5) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    usleep(5000);
  }
  return false;
}

// A connection to the socket at `path` whose peer runs as this user; -1
// when there is none, with the reason in `*error` when connecting failed
// (0 otherwise), and the peer's process id in `*peerPid` when given. Its
// sends and receives are bounded (boundWaits). The socket is named through
// its folder (socket_place.h), whatever the folder's length.
int connectTo(const std::string& path, int* error, int* peerPid = nullptr) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  *error = 0;
  if (fd < 0) return -1;
  // A connection to a stopped server waits in its listen queue, or blocks
  // when the queue is full; both end after the step's time.
  if (!boundWaits(fd, true)) {
    *error = errno;
    close(fd);
    return -1;
  }
  if (const int failed = connectSocketAt(fd, path); failed != 0) {
    *error = failed;
    close(fd);
    return -1;
  }
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != getuid()) {
    close(fd);
    return -1;
  }
  if (peerPid) *peerPid = peer.pid;
  return fd;
}

// Greets the server with this build's protocol, this process's umask and
// its start settings' key; true when it accepts (a server runs only callers
// whose new files get the mode its own would, and whose time zone and
// locale its JVM has).
bool greet(int fd) {
  const auto mask = currentUmask();
  if (!mask) return false;
  Writer hello;
  hello.bytes = kServerGreeting;
  hello.u32(kProtocolVersion);
  hello.u32(*mask);
  hello.text(startSettingsKey());
  if (!sendAll(fd, hello.bytes)) return false;
  const auto answer = receiveExactly(fd, 1);
  return answer && (*answer)[0] == kAccepted;
}

// Starts the server program detached from this process: its own session,
// current directory "/", standard streams on /dev/null, no other inherited
// descriptor. Waits only for the short-lived middle process.
// Stack limit the server starts with at least (when the hard limit allows).
constexpr rlim_t kServerStack = 8u << 20;

void startServer(const std::string& program, const std::string& socketPath,
                 const std::string& context) {
  const char* argv[] = {program.c_str(), socketPath.c_str(), context.c_str(), nullptr};
  const pid_t child = fork();
  if (child < 0) return;
  if (child == 0) {
    setsid();
    if (fork() != 0) _exit(0);
    if (chdir("/") != 0) _exit(127);
    // A small stack limit of this caller's (ulimit -s) would become the
    // stack of each of the server's threads. Raise it to a usual size where
    // the hard limit allows: the context key, made before, keeps the
    // caller's limit, so the server still serves only callers with it.
    rlimit stack{};
    if (getrlimit(RLIMIT_STACK, &stack) == 0 && stack.rlim_cur != RLIM_INFINITY &&
        stack.rlim_cur < kServerStack) {
      stack.rlim_cur = stack.rlim_max == RLIM_INFINITY || stack.rlim_max >= kServerStack
                           ? kServerStack
                           : stack.rlim_max;
      setrlimit(RLIMIT_STACK, &stack);
    }
    const int null = open("/dev/null", O_RDWR);
    if (null < 0) _exit(127);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    close_range(3, ~0U, 0);
    execv(program.c_str(), const_cast<char* const*>(argv));
    _exit(127);
  }
  int status;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

// Whether `name` (UTF-8, as given; `written` for a report or messages
// file) reaches this process's own entries, anywhere in it or, for a
// written file, in its folder (own_names.h): only this process can know
// that, so the run is its own. Every other check of the run's files
// (missing, a pipe or a device, a report that cannot be written) is
// RunOptions.refusal's alone (java/RunOptions.java), made where the run
// runs: the server sees the caller's files as the caller does (the same
// context, relative names taken against the caller's folder and shown as
// given), so its refusal is the caller's, word for word.
bool reachesThisProcess(const std::string& name, bool written, const std::string& directory) {
  if (name.empty()) return false;
  const std::string absolute = name[0] == '/' ? name : directory + "/" + name;
  const std::string parent = absolute.substr(0, absolute.rfind('/'));
  return reachesOwnProcess(absolute) ||
         (written && reachesOwnProcess(parent.empty() ? "/" : parent));
}

// Seconds east of UTC of this process's local time now.
int utcOffsetSeconds() {
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return static_cast<int>(local.tm_gmtoff);
}

}  // namespace

ServerConnection* connectToEngineServer(std::string* whyNot) {
  tWhyNot = whyNot;
  struct Forget {
    ~Forget() { tWhyNot = nullptr; }
  } forget;
  if (const char* why = whyNoServer()) return notUsed(why);
  const auto library = ownFile();
  if (!library) return notUsed("the library's own file is unknown");
  const std::string program = library->substr(0, library->rfind('/')) + "/xslvalidate-engine-server";
  if (access(program.c_str(), X_OK) != 0) return notUsed("no server program beside the library");
  const auto identity = buildIdentity(*library, program);
  if (!identity) return notUsed("the library or the server program cannot be read");
  const auto directory = serverDirectory(std::getenv("XDG_RUNTIME_DIR"), getuid());
  if (!directory) return notUsed("no server directory of this user's alone");
  // A server serves the callers of one context only: they name it by its
  // key, and a caller of another context starts a server of its own.
  const auto context = callerContextOf("/proc/self");
  if (!context) return notUsed("this process's context cannot be read");
  const std::string key = contextKey(*context);
  // Time zone and locale are part of the name as well: a JVM takes them
  // at its start, so a caller with others starts a server with its own.
  const std::string base =
      *directory + "/engine-" + *identity + "-" + combinedKey(key, startSettingsKey());
  const std::string socketPath = base + ".sock";

  struct stat status;
  const auto usable = [&] {
    return lstat(socketPath.c_str(), &status) != 0 || isOwnSocket(socketPath, getuid());
  };
  if (!usable()) return notUsed("the socket is not this user's");
  int error = 0;
  int peerPid = 0;
  int fd = connectTo(socketPath, &error, &peerPid);
  bool started = false;
  if (fd < 0) {
    // One client at a time starts the server; the others wait here and
    // then find it listening.
    const int lock = open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0) return notUsed("the start lock cannot be opened");
    if (lockWithin(lock)) {
      fd = connectTo(socketPath, &error, &peerPid);
      // Only a socket nobody listens on is replaced; one whose server is
      // stopped or busy is left to it.
      if (fd < 0 && (error == ENOENT || error == ECONNREFUSED) && usable()) {
        unlink(socketPath.c_str());  // left by a server that was killed
        startServer(program, socketPath, key);
        started = true;
        for (int waited = 0; fd < 0 && waited < kStartWaitMilliseconds; waited += 5) {
          usleep(5000);
          if (isOwnSocket(socketPath, getuid())) fd = connectTo(socketPath, &error, &peerPid);
        }
      }
    }
    close(lock);
  }
  if (fd < 0) {
    return notUsed(started ? "the server started did not listen in time"
                           : "no server listens and none could be started");
  }
  if (!greet(fd)) {
    close(fd);
    return notUsed("the server refused this caller (another umask, version or context) or "
                   "did not answer in time");
  }
  debugLine("engine server %s at %s", started ? "started" : "connected", socketPath.c_str());
  // The handler is in place from the connection on, as it is from the
  // JVM's start in-process, so a caller that adds its own clean-up after
  // graal_create_isolate finds it there to pass the signal on to.
  installInterruptCleanup();
  return new ServerConnection{fd, peerPid};
}

namespace {

// The body of runOnEngineServer, blind to a stop.
// A run the server did not start, for `why`.
ServerRun notStarted(const std::string& why) {
  ServerRun run;
  run.whyNotStarted = why;
  return run;
}

ServerRun runOnConnection(ServerConnection* connection, const std::vector<std::string>& options) {
  ServerRun run;
  if (connection->broken) return notStarted("the connection to the engine server failed before");
  char* here = getcwd(nullptr, 0);
  if (!here) return notStarted("the current directory is unknown");
  const std::string directory = here;
  std::free(here);
  // The server would take such a directory's name as text and lose its
  // bytes: in-process gives the real reason for whatever fails there.
  if (!utf8ToUtf16(directory)) return notStarted("the current directory's name is not UTF-8");
  // Only what the server can confine to this run crosses the socket; an
  // option that would change the shared engine's configuration has no
  // place in the record, and the run is this process's alone.
  const auto record = runRequestOf(options);
  if (!record) return notStarted("an option the engine server cannot keep to this run");
  for (const auto& [name, written] : namesOf(*record)) {
    if (reachesThisProcess(name, written, directory))
      return notStarted(name + " is a name of this process's own");
  }
  Writer request;
  writeRunRequest(request, *record, directory);
  std::uint32_t variables = 0;
  for (char** entry = environ; *entry; ++entry) ++variables;
  request.u32(variables);
  for (char** entry = environ; *entry; ++entry) request.text(*entry);
  request.u32(static_cast<std::uint32_t>(utcOffsetSeconds()));
  // The caller's debug switch, for the run's own trace lines.
  request.u32(debugging() ? 1 : 0);
  std::fflush(stderr);

  // Until the status is back, a signal that ends this process first has
  // the server stop the run and remove its temporary file.
  installInterruptCleanup();
  struct Release {
    int slot;
    ~Release() { releaseServerRun(slot); }
  } release{holdServerRun(connection->fd)};
  // Until the server says it took the run, each wait is bounded; a server
  // that does not answer in time gets its connection shut, so that it
  // cannot start the run later, and the run goes in-process.
  const bool sent = boundWaits(connection->fd, true) &&
                    sendMessage(connection->fd, request.bytes, STDERR_FILENO);
  const auto started = sent ? receiveExactly(connection->fd, 1) : std::nullopt;
  if (!started || (*started)[0] != kRunStarted || !boundWaits(connection->fd, false)) {
    shutdown(connection->fd, SHUT_RDWR);
    connection->broken = true;
    return notStarted("the engine server did not start the run");
  }
  const auto kind = receiveExactly(connection->fd, 1);
  if (kind && (*kind)[0] == kRunHandedBack) {
    // Nothing of it reached this process.
    return notStarted("the engine server handed the run back");
  }
  const auto ended = kind && (*kind)[0] == kRunEnded ? receiveExactly(connection->fd, 4)
                                                      : std::nullopt;
  if (!ended) {
    connection->broken = true;
    run.state = ServerRunState::kLost;
    return run;
  }
  Reader reader{*ended};
  run.state = ServerRunState::kRan;
  run.status = static_cast<int>(*reader.u32());
  return run;
}

}  // namespace

ServerRun runOnEngineServer(ServerConnection* connection, const std::vector<std::string>& options) {
  // A stopped connection fails what it could not finish: the in-process
  // fallback would run what its caller has given up on, out of reach.
  if (connection->stopped.load()) return {ServerRunState::kStopped, 2};
  ServerRun run = runOnConnection(connection, options);
  if (run.state != ServerRunState::kRan && connection->stopped.load())
    return {ServerRunState::kStopped, 2};
  return run;
}

int serverProcessOf(const ServerConnection* connection) { return connection->serverPid; }

void stopServerRun(ServerConnection* connection) {
  connection->stopped.store(true);
  // Both ways: the server's watcher sees the caller go and stops the run;
  // this side's wait ends at once, even with a server that does not answer.
  shutdown(connection->fd, SHUT_RDWR);
  debugLine("the run on the engine server was stopped by its caller");
}

bool serverConnectionLost(const ServerConnection* connection) {
  return connection->broken && !connection->stopped.load();
}

void closeServerConnection(ServerConnection* connection) {
  close(connection->fd);
  delete connection;
}
