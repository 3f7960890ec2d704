#include "server/client.h"

#include <dlfcn.h>
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
#include <mutex>
#include <optional>
#include <set>

#include "interrupt_cleanup.h"
#include "server/socket_place.h"
#include "server/wire.h"

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

std::mutex gLiveMutex;
std::set<const void*> gLive;

// Settings of the engine's JVM that a caller may give: a server made for
// another caller would not honour them, so such a caller runs in-process.
const char* const kInProcessSettings[] = {"XSLVALIDATE_MAX_HEAP", "XSLVALIDATE_DEBUG"};

bool serverWanted() {
  for (const char* name : kInProcessSettings) {
    const char* value = std::getenv(name);
    if (value && *value) return false;
  }
  const char* setting = std::getenv("XSLVALIDATE_SERVER");
  if (!setting || !*setting) return kServerByDefault;
  if (std::strcmp(setting, "off") == 0) return false;
  if (std::strcmp(setting, "on") == 0) return true;
  return kServerByDefault;
}

// The file of the shared object that holds this code.
std::optional<std::string> ownFile() {
  Dl_info info;
  if (dladdr(reinterpret_cast<const void*>(&ownFile), &info) == 0 || !info.dli_fname ||
      info.dli_fname[0] != '/') {
    return std::nullopt;
  }
  return std::string(info.dli_fname);
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
  if (!serverWanted()) return nullptr;
  const auto library = ownFile();
  if (!library) return nullptr;
  const std::string program = library->substr(0, library->rfind('/')) + "/xslvalidate-engine-server";
  if (access(program.c_str(), X_OK) != 0) return nullptr;
  const auto identity = buildIdentity(*library, program);
  const auto directory = serverDirectory(std::getenv("XDG_RUNTIME_DIR"), getuid());
  if (!identity || !directory) return nullptr;
  const std::string socketPath = *directory + "/engine-" + *identity + ".sock";
  if (socketPath.size() >= sizeof(sockaddr_un{}.sun_path)) return nullptr;

  struct stat status;
  const auto usable = [&] {
    return lstat(socketPath.c_str(), &status) != 0 || isOwnSocket(socketPath, getuid());
  };
  if (!usable()) return nullptr;
  int fd = connectTo(socketPath);
  if (fd < 0) {
    // One client at a time starts the server; the others wait here and
    // then find it listening.
    const std::string lockPath = *directory + "/engine-" + *identity + ".lock";
    const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0) return nullptr;
    if (flock(lock, LOCK_EX) == 0) {
      fd = connectTo(socketPath);
      if (fd < 0 && usable()) {
        unlink(socketPath.c_str());  // left by a server that was killed
        startServer(program, socketPath);
        for (int waited = 0; fd < 0 && waited < kStartWaitMilliseconds; waited += 5) {
          usleep(5000);
          if (isOwnSocket(socketPath, getuid())) fd = connectTo(socketPath);
        }
      }
    }
    close(lock);
  }
  if (fd < 0) return nullptr;
  if (!greet(fd)) {
    close(fd);
    return nullptr;
  }
  // The handler is in place from the connection on, as it is from the
  // JVM's start in-process, so a caller that adds its own clean-up after
  // graal_create_isolate finds it there to pass the signal on to.
  installInterruptCleanup();
  auto* connection = new ServerConnection{fd};
  std::lock_guard guard(gLiveMutex);
  gLive.insert(connection);
  return connection;
}

bool isServerConnection(const void* handle) {
  std::lock_guard guard(gLiveMutex);
  return gLive.count(handle) != 0;
}

ServerRun runOnEngineServer(ServerConnection* connection, const std::vector<std::string>& options) {
  ServerRun run;
  if (connection->broken) return run;
  char* here = getcwd(nullptr, 0);
  if (!here) return run;
  const std::string directory = here;
  std::free(here);
  Writer request;
  request.u32(static_cast<std::uint32_t>(options.size() + 1));
  for (const std::string& option : options) {
    const auto value = carried(option, directory);
    if (!value) return run;
    request.text(*value);
  }
  // The directory that the run takes relative names against (RunOptions).
  request.text("-cwd:" + directory);
  std::uint32_t variables = 0;
  for (char** entry = environ; *entry; ++entry) ++variables;
  request.u32(variables);
  for (char** entry = environ; *entry; ++entry) request.text(*entry);
  request.u32(static_cast<std::uint32_t>(utcOffsetSeconds()));
  std::fflush(stderr);

  // Until the status is back, a signal that ends this process first has
  // the server stop the run and remove its temporary file.
  installInterruptCleanup();
  struct Release {
    int slot;
    ~Release() { releaseServerRun(slot); }
  } release{holdServerRun(connection->fd)};
  if (!sendMessage(connection->fd, request.bytes, STDERR_FILENO)) {
    connection->broken = true;
    return run;
  }
  const auto started = receiveExactly(connection->fd, 1);
  if (!started || (*started)[0] != kRunStarted) {
    connection->broken = true;
    return run;
  }
  const auto ended = receiveExactly(connection->fd, 5);
  if (!ended || (*ended)[0] != kRunEnded) {
    connection->broken = true;
    std::fputs("jvmengine: the engine server ended before the run's status came back; "
               "the run counts as failed\n", stderr);
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
  {
    std::lock_guard guard(gLiveMutex);
    gLive.erase(connection);
  }
  close(connection->fd);
  delete connection;
}
