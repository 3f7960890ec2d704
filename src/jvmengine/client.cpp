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

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>

#include "jvmcore/debug.h"
#include "jvmcore/interrupt_cleanup.h"
#include "jvmcore/own_file.h"
#include "socket_place.h"
#include "wire.h"

extern char** environ;

struct ServerConnection {
  int fd = -1;
  bool broken = false;
};

namespace {

// Whether runs go to the server when XSLVALIDATE_SERVER is not set.
constexpr bool kServerByDefault = true;

// How long a client waits for a server it started to listen.
constexpr int kStartWaitMilliseconds = 15000;

// Why runs do not go to the server; nullptr when they do. A maximum heap
// of the caller's own is a setting of its own JVM, which a server started
// for another caller would not honour.
const char* whyNoServer() {
  const char* heap = std::getenv("XSLVALIDATE_MAX_HEAP");
  if (heap && *heap) return "XSLVALIDATE_MAX_HEAP is set, for a JVM of this process's own";
  const char* setting = std::getenv("XSLVALIDATE_SERVER");
  if (setting && std::strcmp(setting, "off") == 0) return "XSLVALIDATE_SERVER=off";
  if ((setting && std::strcmp(setting, "on") == 0) || kServerByDefault) return nullptr;
  return "off by default";
}

// Traces that the server is not used, and why; returns nullptr.
ServerConnection* notUsed(const char* why) {
  debugLine("engine server not used (%s): runs in-process", why);
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

// A connection to the socket at `path` whose peer runs as this user; -1
// when there is none.
int connectTo(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != getuid()) {
    close(fd);
    return -1;
  }
  return fd;
}

// Greets the server with this build's protocol and this process's umask;
// true when it accepts (a server runs only callers whose new files get the
// mode its own would).
bool greet(int fd) {
  const auto mask = currentUmask();
  if (!mask) return false;
  Writer hello;
  hello.bytes = kServerGreeting;
  hello.u32(kProtocolVersion);
  hello.u32(*mask);
  if (!sendAll(fd, hello.bytes)) return false;
  const auto answer = receiveExactly(fd, 1);
  return answer && (*answer)[0] == kAccepted;
}

// Starts the server program detached from this process: its own session,
// current directory "/", standard streams on /dev/null, no other inherited
// descriptor. Waits only for the short-lived middle process.
// Stack limit the server starts with at least (when the hard limit allows).
constexpr rlim_t kServerStack = 8u << 20;

void startServer(const std::string& program, const std::string& socketPath) {
  const char* argv[] = {program.c_str(), socketPath.c_str(), nullptr};
  const pid_t child = fork();
  if (child < 0) return;
  if (child == 0) {
    setsid();
    if (fork() != 0) _exit(0);
    if (chdir("/") != 0) _exit(127);
    // The server serves every later caller, not this one: a small stack
    // limit of this caller's (ulimit -s) would become the stack of each of
    // its threads. Raise it to a usual size where the hard limit allows.
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

// A relative name goes to the server only when it names something that
// exists as the run needs it (so that every refusal about a missing file is
// made here, in-process, word for word); the option as given, or nullopt.
// These checks repeat, on purpose and in short, the ones RunOptions.refusal
// (java/RunOptions.java) makes with its messages: a source or stylesheet
// must be a regular file, a report's directory must exist. A change to
// either must be made to both.
// The server takes relative names against `directory`, sent with the run.
std::optional<std::string> carried(const std::string& option, const std::string& directory) {
  static const char* const kNamed[] = {"-s:", "-xsl:", "-xsd:", "-o:", "-err:"};
  for (const char* prefix : kNamed) {
    const std::size_t length = std::strlen(prefix);
    if (option.compare(0, length, prefix) != 0) continue;
    const std::string value = option.substr(length);
    if (value.empty() || value[0] == '/') return option;
    const std::string absolute = directory + "/" + value;
    struct stat status;
    if (std::strcmp(prefix, "-o:") == 0 || std::strcmp(prefix, "-err:") == 0) {
      const std::size_t slash = absolute.rfind('/');
      const std::string parent = absolute.substr(0, slash);
      if (stat(parent.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return std::nullopt;
    } else if (stat(absolute.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
      return std::nullopt;
    }
    return option;
  }
  return option;
}

// Seconds east of UTC of this process's local time now.
int utcOffsetSeconds() {
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return static_cast<int>(local.tm_gmtoff);
}

}  // namespace

ServerConnection* connectToEngineServer() {
  if (const char* why = whyNoServer()) return notUsed(why);
  const auto library = ownFile();
  if (!library) return notUsed("the library's own file is unknown");
  const std::string program = library->substr(0, library->rfind('/')) + "/xslvalidate-engine-server";
  if (access(program.c_str(), X_OK) != 0) return notUsed("no server program beside the library");
  const auto identity = buildIdentity(*library, program);
  if (!identity) return notUsed("the library or the server program cannot be read");
  const auto directory = serverDirectory(std::getenv("XDG_RUNTIME_DIR"), getuid());
  if (!directory) return notUsed("no server directory of this user's alone");
  const std::string socketPath = *directory + "/engine-" + *identity + ".sock";
  if (socketPath.size() >= sizeof(sockaddr_un{}.sun_path))
    return notUsed("the socket's path is too long");

  struct stat status;
  const auto usable = [&] {
    return lstat(socketPath.c_str(), &status) != 0 || isOwnSocket(socketPath, getuid());
  };
  if (!usable()) return notUsed("the socket is not this user's");
  int fd = connectTo(socketPath);
  bool started = false;
  if (fd < 0) {
    // One client at a time starts the server; the others wait here and
    // then find it listening.
    const std::string lockPath = *directory + "/engine-" + *identity + ".lock";
    const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0) return notUsed("the start lock cannot be opened");
    if (flock(lock, LOCK_EX) == 0) {
      fd = connectTo(socketPath);
      if (fd < 0 && usable()) {
        unlink(socketPath.c_str());  // left by a server that was killed
        startServer(program, socketPath);
        started = true;
        for (int waited = 0; fd < 0 && waited < kStartWaitMilliseconds; waited += 5) {
          usleep(5000);
          if (isOwnSocket(socketPath, getuid())) fd = connectTo(socketPath);
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
    return notUsed("the server refused this caller (another umask or version)");
  }
  debugLine("engine server %s at %s", started ? "started" : "connected", socketPath.c_str());
  return new ServerConnection{fd};
}

ServerRun runOnEngineServer(ServerConnection* connection, const std::vector<std::string>& options) {
  ServerRun run;
  if (connection->broken) {
    debugLine("run in-process: the connection to the engine server failed before");
    return run;
  }
  char* here = getcwd(nullptr, 0);
  if (!here) {
    debugLine("run in-process: the current directory is unknown");
    return run;
  }
  const std::string directory = here;
  std::free(here);
  Writer request;
  request.u32(static_cast<std::uint32_t>(options.size() + 1));
  for (const std::string& option : options) {
    const auto value = carried(option, directory);
    if (!value) {
      debugLine("run in-process: %s names nothing that exists, relative to the current "
                "directory", option.c_str());
      return run;
    }
    request.text(*value);
  }
  // The directory that the run takes relative names against (RunOptions).
  request.text("-cwd:" + directory);
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
  holdServerRun(connection->fd);
  struct Release {
    ~Release() { holdServerRun(-1); }
  } release;
  if (!sendMessage(connection->fd, request.bytes, STDERR_FILENO)) {
    connection->broken = true;
    debugLine("run in-process: the engine server did not take the request");
    return run;
  }
  const auto started = receiveExactly(connection->fd, 1);
  if (!started || (*started)[0] != kRunStarted) {
    connection->broken = true;
    debugLine("run in-process: the engine server did not start the run");
    return run;
  }
  const auto ended = receiveExactly(connection->fd, 5);
  if (!ended || (*ended)[0] != kRunEnded) {
    connection->broken = true;
    run.state = ServerRunState::kLost;
    return run;
  }
  const std::string statusBytes = ended->substr(1);
  Reader reader{statusBytes};
  run.state = ServerRunState::kRan;
  run.status = static_cast<int>(*reader.u32());
  return run;
}

void closeServerConnection(ServerConnection* connection) {
  close(connection->fd);
  delete connection;
}
