// How an engine server that retires is replaced by a warm one. The retiring
// server starts its successor (the same program, context key and
// environment) and hands it the list of what its caches hold; the
// successor compiles it all, listens at a temporary name in the server
// folder and takes over the socket's name in one step (rename), then says
// so on a pipe it inherited. Until then the retiring server keeps serving,
// so a caller always finds a server listening; the successor's end of the
// pipe closing without a word means it failed.
#ifndef XSLVALIDATE_ENGINESERVER_SUCCESSION_H_
#define XSLVALIDATE_ENGINESERVER_SUCCESSION_H_

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

enum class Succession { kPending, kTookOver, kFailed };

// A successor as its predecessor sees it.
struct Successor {
  pid_t pid = -1;
  int ready = -1;          // the pipe's reading end (close-on-exec)
  std::string socketPath;  // the name it takes over
  std::string heldList;    // the file listing what the caches hold
  std::chrono::steady_clock::time_point started;
  Succession state = Succession::kPending;  // as far as the pipe has told
};

// Where the successor's argument list puts the pipe's writing end.
inline constexpr int kReadyDescriptor = 3;

// Starts this process's own program as the successor of the server at
// `socketPath` serving `contextKey`, handing it `heldList`: in a session of
// its own, with this process's environment, current directory and
// standard streams, and no other descriptor than the pipe's writing end
// (as kReadyDescriptor). nullopt when it cannot be started.
std::optional<Successor> startSuccessor(const std::string& socketPath,
                                        const std::string& contextKey,
                                        const std::string& heldList);

// What the pipe has said, read now without waiting: kTookOver once the
// successor wrote its word, kFailed once its end closed without one,
// kPending while neither. Once settled it stays so.
Succession successionState(Successor* successor);

// Ends the succession: a successor still pending gets SIGTERM and at most
// `wait` to end (then SIGKILL). Reaps a successor that ended, removes what
// it may have left (its temporary socket) and the list file, closes the
// pipe. Returns how the succession ended: kTookOver when the successor
// took over before it ended or still serves.
Succession endSuccession(Successor* successor, std::chrono::milliseconds wait);

// The name a successor with process id `pid` listens at before it takes
// over, in the server folder of `socketPath`: shorter than the socket's
// own name, so it fits wherever that does.
std::string takeOverName(const std::string& socketPath, pid_t pid);

// The name of the list of held compiles the server with process id `pid`
// hands its successor, in the server folder of `socketPath`.
std::string heldListName(const std::string& socketPath, pid_t pid);

// A listening socket at `path` (a stale one there is replaced), readable
// and writable by the user alone; -1 on failure.
int listenAt(const std::string& path);

// The successor's step: listens at takeOverName, then renames it over
// `socketPath`, so the name always has a listener. The listening socket,
// or -1 with nothing left behind.
int takeOver(const std::string& socketPath);

// Tells the predecessor on `readyFd` that the socket's name is this
// process's now, and closes it.
void tellTookOver(int readyFd);

#endif  // XSLVALIDATE_ENGINESERVER_SUCCESSION_H_
