#include "serverprotocol/caller_context.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <cstdlib>
#include <cstring>

namespace {

// The whole of a small file under /proc; nullopt when it cannot be read.
std::optional<std::string> readAll(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
  close(fd);
  if (got < 0) return std::nullopt;
  return text;
}

// "name=<device>:<inode>" of what `path` leads to; nullopt when it cannot
// be looked at.
std::optional<std::string> identityLine(const char* name, const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return std::string(name) + "=" + std::to_string(status.st_dev) + ":" +
         std::to_string(status.st_ino) + "\n";
}

// Lines of a status file that say who the process is and what it may do.
const char* const kStatusFields[] = {"Uid:",    "Gid:",    "Groups:", "CapInh:",
                                     "CapPrm:", "CapEff:", "CapBnd:", "CapAmb:",
                                     "NoNewPrivs:", "Seccomp:", "Seccomp_filters:"};

}  // namespace

std::optional<CallerContext> callerContextOf(const std::string& procDirectory) {
  CallerContext context;
  static const char* const kNamespaces[] = {"mnt", "net", "user", "pid", "uts"};
  for (const char* name : kNamespaces) {
    const auto line = identityLine(name, procDirectory + "/ns/" + name);
    if (!line) return std::nullopt;
    context.credentials += *line;
  }
  const auto root = identityLine("root", procDirectory + "/root");
  const auto status = readAll(procDirectory + "/status");
  const auto limits = readAll(procDirectory + "/limits");
  if (!root || !status || !limits) return std::nullopt;
  context.credentials += *root;
  std::size_t at = 0;
  while (at < status->size()) {
    std::size_t end = status->find('\n', at);
    if (end == std::string::npos) end = status->size();
    for (const char* field : kStatusFields) {
      if (status->compare(at, std::strlen(field), field) == 0) {
        context.credentials.append(*status, at, end - at).push_back('\n');
      }
    }
    at = end + 1;
  }
  // Without a security module the label cannot be read: the same for every
  // process of the machine, so it counts as empty.
  context.credentials += "label=" + readAll(procDirectory + "/attr/current").value_or("") + "\n";
  context.limits = *limits;
  return context;
}

namespace {

// 16 hex digits of the FNV-1a hash (64 bits) of `parts`, each followed by
// a separator no text byte of them is.
std::string keyOf(std::initializer_list<const std::string*> parts) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const std::string* part : parts) {
    for (unsigned char c : *part) {
      hash ^= c;
      hash *= 0x100000001b3ULL;
    }
    hash ^= 0xff;
    hash *= 0x100000001b3ULL;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

}  // namespace

std::string contextKey(const CallerContext& context) {
  return keyOf({&context.credentials, &context.limits});
}

std::string combinedKey(const std::string& contextKey, const std::string& settingsKey) {
  return keyOf({&contextKey, &settingsKey});
}

std::string startSettingsKey() {
  std::string settings;
  for (const char* name : {"TZ", "LANG", "LANGUAGE", "LC_ALL", "LC_CTYPE", "LC_MESSAGES",
                           "LC_TIME", "LC_NUMERIC", "LC_COLLATE", "LC_MONETARY",
                           "XSLVALIDATE_SERVER_CACHE_ENTRIES"}) {
    const char* value = std::getenv(name);
    settings += value ? std::string(name) + "=" + value + "\n" : std::string(name) + "\n";
  }
  // Without TZ, the JVM takes its zone from these files as this process's
  // mount namespace shows them now: the name the link leads to, else the
  // content. A server that read other ones serves other callers.
  for (const char* file : {"/etc/localtime", "/etc/timezone"}) {
    char target[4096];
    const ssize_t length = readlink(file, target, sizeof target);
    settings += std::string(file) + "->" +
                (length > 0 ? std::string(target, static_cast<size_t>(length)) : "") + "\n";
    settings += readAll(file).value_or("(none)") + "\n";
  }
  return keyOf({&settings});
}

bool limitsNeedOwnProcess() {
  for (int resource : {RLIMIT_CPU, RLIMIT_AS, RLIMIT_DATA}) {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY) return true;
  }
  rlimit files{};
  return getrlimit(RLIMIT_NOFILE, &files) != 0 ||
         (files.rlim_cur != RLIM_INFINITY && files.rlim_cur < kSharedOpenFiles);
}
