// How an engine server that retires is replaced by a warm one. The retiring
// server starts its successor (the same program, context key and
// environment) and hands it the list of what its caches hold, as an
// anonymous file the successor inherits (it has no name in any folder, so
// it ends with the hand-over however that ends); the successor compiles it
// all, listens at a temporary name in the server folder and takes over the
// socket's name in one step (rename) if its predecessor's socket still has
// it, then says so on a pipe it inherited. Until then the retiring server
// keeps serving, so a caller always finds a server listening; the
// successor's end of the pipe closing without a word means it failed.
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
  std::chrono::steady_clock::time_point started;
  Succession state = Succession::kPending;  // as far as the pipe has told
};

// Where the successor's argument list puts the pipe's writing end, and
// where the successor finds the list of held compiles.
inline constexpr int kReadyDescriptor = 3;
inline constexpr int kHeldDescriptor = 4;

// An anonymous file for the list of held compiles (close-on-exec), and
// its name for this process (/proc/self/fd/<n>); -1 when none can be made.
int newHeldList();
std::string heldListName(int fd);

// Starts this process's own program as the successor of the server at
// `socketPath` serving `contextKey`, handing it the list `heldFd` (as
// kHeldDescriptor; this process's copy is closed): in a session of its own,
// with this process's environment, current directory and standard streams,
// and no other descriptor than those two and the pipe's writing end (as
// kReadyDescriptor). nullopt when it cannot be started.
// `ownName` is this server's socket's identity (nameIdentity): the only
// socket the successor may take the name from.
std::optional<Successor> startSuccessor(const std::string& socketPath,
                                        const std::string& contextKey, int heldFd,
                                        const std::string& ownName);

// What the pipe has said, read now without waiting: kTookOver once the
// successor wrote its word, kFailed once its end closed without one,
// kPending while neither. Once settled it stays so.
Succession successionState(Successor* successor);

// Ends the succession: a successor still pending gets SIGTERM and at most
// `wait` to end (then SIGKILL). Reaps a successor that ended, removes what
// it may have left (its temporary socket), closes the pipe. Returns how the succession ended: kTookOver when the successor
// took over before it ended or still serves.
Succession endSuccession(Successor* successor, std::chrono::milliseconds wait);

// The name a successor with process id `pid` listens at before it takes
// over, in the server folder of `socketPath`: shorter than the socket's
// own name, so it fits wherever that does.
std::string takeOverName(const std::string& socketPath, pid_t pid);

// Removes, from the server folder of `socketPath`, what hand-overs of
// servers that no longer run left there: temporary sockets (next-<pid>)
// and lists of held compiles that earlier builds kept in the folder
// (held-<pid>). What a running process of that id may still use is left.
void sweepStaleHandOvers(const std::string& socketPath);

// A listening socket at `path`, readable and writable by the user alone;
// -1 on failure, also when the name is taken: a name that has a socket is
// never taken from it here.
int listenAt(const std::string& path);

// The device, inode and change time of what `path` names now (not
// followed), as one text, so that a socket made in the place of a removed
// one never shares it; empty when nothing is there.
std::string nameIdentity(const std::string& path);

// The successor's step: listens at takeOverName, then, holding the start
// lock `lockPath` (the one callers hold while they start a server), renames
// it over `socketPath` only if that name still has the socket whose
// identity (nameIdentity) was `predecessor`: a server started meanwhile by
// a caller, after the predecessor was killed, keeps its name. The
// listening socket, or -1 with nothing left behind.
int takeOver(const std::string& socketPath, const std::string& predecessor,
             const std::string& lockPath);

// Tells the predecessor on `readyFd` that the socket's name is this
// process's now, and closes it.
void tellTookOver(int readyFd);

#endif  // XSLVALIDATE_ENGINESERVER_SUCCESSION_H_
