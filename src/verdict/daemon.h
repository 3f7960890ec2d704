// The validation service: xslvalidate-verdict --daemon answers HTTP
// requests with the reference validator's daemon API (POST a document,
// get the configuration's report), on a worker pool of batch workers.
#ifndef XSLVALIDATE_VERDICT_DAEMON_H_
#define XSLVALIDATE_VERDICT_DAEMON_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "verdict/check.h"

// The service's settings; every limit has a default here and an option.
struct DaemonSettings {
  bool enabled = false;           // --daemon, -D
  std::string host = "127.0.0.1";  // --host, -H: the address to listen on
  unsigned port = 8080;            // --port, -P
  unsigned threads = 0;            // --threads, -T: workers; 0: one per core
  bool gui = true;                 // --disable-gui turns the usage page off
  std::u16string tokenFile;        // --token-file: the bearer token, when set
  unsigned long long maxBody = 64ull << 20;  // --max-body BYTES: larger gets 413
  unsigned queue = 32;             // --queue N: documents waiting for a worker
  unsigned connections = 256;      // --max-connections N: open connections
  unsigned readSeconds = 30;       // --read-timeout S: to receive one whole request
  unsigned idleSeconds = 10;       // --idle-timeout S: a connection without traffic
  unsigned drainSeconds = 30;      // --drain-timeout S: SIGTERM waits this long
  unsigned checkSeconds = 120;     // --check-timeout S: a longer check is stopped, 422
};

// Every option name of the daemon, short forms included, as the command
// line takes them (the help names each).
const std::vector<std::u16string_view>& daemonOptionNames();

// How an argument of the command line concerns the daemon.
enum class DaemonOption { kNone, kFlag, kValue };

// Whether `argument` (an option's name, without "=value") is one of the
// daemon's, and whether it takes a value.
DaemonOption daemonOption(std::u16string_view argument);

// Sets the daemon option `argument` (with `value` when it takes one).
// Returns the usage error, or empty text.
std::string setDaemonOption(DaemonSettings* settings, std::u16string_view argument,
                            std::u16string_view value);

// A plan read from the configuration files: `owner` keeps what `plan`
// points into (the configurations and their folder) alive; `folders` are
// the private folders its files are in (UTF-8), which no answer names;
// `sources` the configuration files as given, whose changes reload.
struct LoadedPlan {
  CheckPlan plan;
  std::shared_ptr<void> owner;
  std::vector<std::string> folders;
  std::vector<std::u16string> sources;
};

// Reads the configurations again into `loaded`. Returns why they were
// refused, or empty text.
using PlanLoader = std::function<std::string(LoadedPlan* loaded)>;

// Makes `environment` the calling thread's engine on an engine server
// only, never in this process, as every engine of the service's must be:
// a JVM in the service would hold hundreds of megabytes and could not be
// stopped. Its runs go to a fresh server when its server retires or dies.
// An environment attached already keeps its open connection, or gets a
// fresh one for one its server closed. Returns false when no server can be
// had (or on a host without the service); nothing then runs in this
// process, and the call may be made again later.
bool attachToEngineServer(EngineEnvironment* environment);

// The largest token file read, in bytes.
constexpr long kMaxTokenFile = 4096;

// Reads the bearer token from `file` (trailing line ends and spaces
// dropped). The file must be, after following links, a regular file of at
// most kMaxTokenFile bytes that others may not read, write or run (mode &
// 007 == 0); never waits on a FIFO or device. Returns what is wrong with
// it (the token then empty), or empty text.
std::string readTokenFile(const std::u16string& file, std::string* token);

// Serves until SIGTERM or SIGINT, checking every document under `first`
// once it is warmed up. On SIGHUP, or when a configuration file changes,
// `reload` reads them again into a new plan beside the one in use, which
// replaces it only once every compile of it is made and runs over a tiny
// document, and the service's own probe document gets a verdict under it;
// otherwise the plan in use serves on unchanged (the reason on standard
// error and in /metrics). Returns the command's status: 0 after a drain;
// kUsageError when `first` does not warm up so, the address cannot be
// taken or the token file is refused, or on hosts that do not offer the
// service.
int runDaemon(const LoadedPlan& first, const DaemonSettings& settings, const PlanLoader& reload);

#endif  // XSLVALIDATE_VERDICT_DAEMON_H_
