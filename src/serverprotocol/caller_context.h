// What of a process decides what a run can see and do on its behalf: its
// namespaces and root directory, its user and group ids, its capabilities,
// its security label and its resource limits. An engine server serves only
// callers whose context is the one it was started with, since it reads and
// writes every file with its own.
#ifndef XSLVALIDATE_SERVERPROTOCOL_CALLER_CONTEXT_H_
#define XSLVALIDATE_SERVERPROTOCOL_CALLER_CONTEXT_H_

#include <optional>
#include <string>

struct CallerContext {
  // Namespaces (mount, network, user, process id, host name) and root
  // directory by device and inode; the uid and gid lines, supplementary
  // groups, capability sets, no_new_privs and seccomp lines of its status;
  // its security label. One "name=value" line each.
  std::string credentials;
  // Every resource limit, soft and hard, as the process's limits file
  // shows them.
  std::string limits;
};

// The context of the process whose /proc directory is `procDirectory`
// ("/proc/self", or "/proc/<pid>" for a peer of the same user). nullopt
// when a part cannot be read (for another process: when it ended, or this
// one may not look at it).
std::optional<CallerContext> callerContextOf(const std::string& procDirectory);

// The context as 16 hex digits (FNV-1a, 64 bits, over both parts): a part
// of the server's socket name, so that callers of other contexts never
// meet.
std::string contextKey(const CallerContext& context);

// The settings a server takes from its environment once, at its start,
// and keeps for good, as 16 hex digits: the time zone (TZ; the implicit
// time zone of compiles and runs), the locale variables (LANG, LANGUAGE,
// LC_*: the default language, country and formats), the files the JVM takes
// its time zone from without TZ (/etc/localtime, its link and content, and
// /etc/timezone, as this process sees them) and the size of its caches
// (XSLVALIDATE_SERVER_CACHE_ENTRIES). A server is started with its
// first caller's environment, so it serves only callers whose settings
// give this key as its own do; others start a server of their own.
std::string startSettingsKey();

// The key in the socket's name: both keys in one, 16 hex digits.
std::string combinedKey(const std::string& contextKey, const std::string& settingsKey);

// True when this process has a limit that only a process of its own can
// honour: a finite CPU time, address space or data size (a shared server
// counts its own use and every other run's against it), or fewer than
// kSharedOpenFiles open files (the server holds descriptors of its own and
// of other runs). Such a caller runs in-process.
bool limitsNeedOwnProcess();
inline constexpr unsigned long kSharedOpenFiles = 1024;

#endif  // XSLVALIDATE_SERVERPROTOCOL_CALLER_CONTEXT_H_
