// File identity, scratch folder and file opening on POSIX hosts: paths are
// the UTF-8 bytes of the tool's text, which toUtf8 always gives on
// these hosts (see host/utf8.h).
#include "verdict/host_files.h"

#include <errno.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <vector>

#include "host/utf8.h"
#include "host/arguments.h"

FileIdentity fileIdentity(std::u16string_view path) {
  FileIdentity identity;
  struct stat status;
  if (stat(toUtf8(path)->c_str(), &status) != 0)
    return identity;
  identity.exists = true;
  identity.device = status.st_dev;
  identity.index = status.st_ino;
  identity.size = static_cast<unsigned long long>(status.st_size);
  identity.changed = status.st_ctim.tv_sec * 1000000000LL + status.st_ctim.tv_nsec;
  identity.modified = status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec;
  return identity;
}

namespace {

// The folder for temporary files: $TMPDIR, else /tmp.
std::string temporaryBase() {
  const char* base = getenv("TMPDIR");
  return base && *base ? std::string(base) : std::string("/tmp");
}

const char kScratchPrefix[] = "xslvalidate-verdict-";

// Each scratch folder of this process, open and under a shared lock while
// it lasts: a lock the kernel drops when the process ends, however it
// ends, so the next call can tell a folder nobody uses any more.
std::mutex lockedMutex;
std::map<std::string, int> lockedFolders;

}  // namespace

ScratchPlace scratchPlace() {
  return ScratchPlace{temporaryBase(), kScratchPrefix + std::to_string(getpid()) + "-"};
}

std::u16string makeScratchFolder() {
  // "xslvalidate-verdict-<pid>-XXXXXX": the next call can tell whose it is.
  const ScratchPlace place = scratchPlace();
  std::string folder = place.folder + "/" + place.namePrefix + "XXXXXX";
  // mkdtemp makes the folder with mode 0700.
  if (mkdtemp(folder.data()) == nullptr)
    return std::u16string();
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0 && flock(fd, LOCK_SH) == 0) {
    std::lock_guard lock(lockedMutex);
    lockedFolders[folder] = fd;
  } else if (fd >= 0) {
    close(fd);
  }
  return decodeArgument(folder);
}

void sweepStaleScratch() {
  DIR* folder = opendir(temporaryBase().c_str());
  if (!folder)
    return;
  const uid_t uid = geteuid();
  std::vector<std::string> stale;
  while (const struct dirent* entry = readdir(folder)) {
    // The name's form first: the prefix, a process id, "-" and six
    // characters (the kept stylesheets' folder has no such form).
    const std::string name = entry->d_name;
    const size_t start = sizeof kScratchPrefix - 1;
    if (name.compare(0, start, kScratchPrefix) != 0)
      continue;
    size_t end = start;
    while (end < name.size() && name[end] >= '0' && name[end] <= '9')
      ++end;
    if (end == start || end - start > 9 || end + 7 != name.size() || name[end] != '-')
      continue;
    const pid_t pid = static_cast<pid_t>(std::stol(name.substr(start, end - start)));
    if (pid <= 0 || pid == getpid() || kill(pid, 0) == 0 || errno != ESRCH)
      continue;
    const std::string path = temporaryBase() + "/" + name;
    struct stat status;
    if (lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == uid)
      stale.push_back(path);
  }
  closedir(folder);
  for (const std::string& path : stale) {
    // A process of another pid namespace may share the folder: its lock
    // says it is alive.
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
      continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
    close(fd);
  }
}

void removeScratchFolder(std::u16string_view folder) {
  const std::string path = *toUtf8(folder);
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(path), ignored);
  std::lock_guard lock(lockedMutex);
  if (auto locked = lockedFolders.find(path); locked != lockedFolders.end()) {
    close(locked->second);
    lockedFolders.erase(locked);
  }
}

std::u16string inFolder(std::u16string_view folder, std::u16string_view name) {
  return std::u16string(folder) + u"/" + std::u16string(name);
}

void removeFile(std::u16string_view path) {
  unlink(toUtf8(path)->c_str());
}

std::FILE* openFile(std::u16string_view path, const char* mode) {
  return std::fopen(toUtf8(path)->c_str(), mode);
}

std::filesystem::path fsPath(std::u16string_view path) {
  return std::filesystem::path(*toUtf8(path));
}

std::u16string fromFsPath(const std::filesystem::path& path) {
  return decodeArgument(path.native());
}

bool makeFolders(std::u16string_view folder) {
  std::error_code error;
  std::filesystem::create_directories(fsPath(folder), error);
  return std::filesystem::is_directory(fsPath(folder), error);
}

namespace {

bool writeAll(int fd, std::string_view content) {
  for (size_t done = 0; done < content.size();) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

namespace {

// Names of this process's own beside `target`: "." + its file name (at
// most 200 bytes of it, so the name stays within 255) + "." + `kind` +
// "-<pid>-<n>"; a name for each `n`.
std::string privateName(const std::filesystem::path& target, const char* kind,
                        unsigned long n) {
  std::string name = target.filename().string().substr(0, 200);
  std::filesystem::path folder = target.parent_path();
  std::string prefix = folder.empty() ? std::string() : folder.string() + "/";
  return prefix + "." + name + "." + kind + "-" + std::to_string(getpid()) + "-" +
         std::to_string(n);
}

std::atomic<unsigned long> privateCounter{0};

// The process id in a private report name ".<name>.verdict-<pid>-<n>",
// or 0 when `name` is not one.
pid_t privatePid(const std::string& name) {
  const size_t mark = name.rfind(".verdict-");
  if (name.empty() || name[0] != '.' || mark == std::string::npos || mark == 0)
    return 0;
  const size_t start = mark + 9;
  const size_t dash = name.find('-', start);
  if (dash == std::string::npos || dash == start || dash - start > 9 || dash + 1 == name.size())
    return 0;
  for (size_t i = start; i < name.size(); ++i)
    if (i != dash && (name[i] < '0' || name[i] > '9'))
      return 0;
  return static_cast<pid_t>(std::stol(name.substr(start, dash - start)));
}

// Removes the private report files in `folder` that a call ended by
// SIGKILL left, once per folder and process: its process is gone, and the
// file is more than an hour old, since a call of another pid namespace (a
// pod sharing the volume) may be writing under an id that is free here,
// and no run takes that long. The folders swept are remembered up to a
// bound, then forgotten all at once: a long-lived caller (the validation
// service gives each request a folder of its own) meets folders without
// end, and sweeping a folder again only costs reading it.
void sweepStalePrivateFiles(const std::string& folder) {
  constexpr size_t kRemembered = 1024;
  static std::mutex mutex;
  static std::set<std::string> swept;
  {
    std::lock_guard lock(mutex);
    if (swept.size() >= kRemembered)
      swept.clear();
    if (!swept.insert(folder).second)
      return;
  }
  DIR* listing = opendir(folder.c_str());
  if (!listing)
    return;
  const uid_t uid = geteuid();
  while (const struct dirent* entry = readdir(listing)) {
    const pid_t pid = privatePid(entry->d_name);
    if (pid <= 0 || pid == getpid() || kill(pid, 0) == 0 || errno != ESRCH)
      continue;
    struct stat status;
    if (fstatat(dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode) && status.st_uid == uid &&
        status.st_mtim.tv_sec + 3600 < time(nullptr))
      unlinkat(dirfd(listing), entry->d_name, 0);
  }
  closedir(listing);
}

}  // namespace

std::u16string makePrivateFileBeside(std::u16string_view path, std::string* reason) {
  const std::filesystem::path target(*toUtf8(path));
  sweepStalePrivateFiles(target.parent_path().empty() ? "." : target.parent_path().string());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = privateName(target, "verdict", privateCounter++);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) {
      close(fd);
      return decodeArgument(name);
    }
    if (errno != EEXIST) {
      *reason = strerror(errno);
      return std::u16string();
    }
  }
  *reason = strerror(EEXIST);
  return std::u16string();
}

bool isReadOnlyFile(std::u16string_view path) {
  const std::string name = *toUtf8(path);
  struct stat status;
  return lstat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
         access(name.c_str(), W_OK) != 0 && errno == EACCES;
}

std::string renameFile(std::u16string_view from, std::u16string_view to) {
  if (rename(toUtf8(from)->c_str(), toUtf8(to)->c_str()) == 0)
    return std::string();
  return strerror(errno);
}

bool writeFileAtomically(std::u16string_view path, std::string_view content) {
  const std::filesystem::path target(*toUtf8(path));
  std::filesystem::path folder = target.parent_path();
  if (folder.empty())
    folder = ".";
  // A file without a name until it is whole: a signal that ends the
  // process while it is written leaves nothing behind. Once whole it gets
  // a name of this process's beside the target and is renamed over the
  // target in one step, so a concurrent writer of the same path never
  // finds it missing.
  const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (fd >= 0) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    bool written = writeAll(fd, content) && fsync(fd) == 0;
    std::string named;
    for (int attempt = 0; written && attempt < 100; ++attempt) {
      named = privateName(target, "part", privateCounter++);
      if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) == 0)
        break;
      named.clear();
      if (errno != EEXIST)
        break;
    }
    written = written && !named.empty();
    if (written && rename(named.c_str(), target.c_str()) != 0) {
      unlink(named.c_str());
      written = false;
    }
    return close(fd) == 0 && written;
  }
  // A file system without nameless files: a named one beside the target,
  // renamed into place.
  std::string temporary = target.string() + ".partXXXXXX";
  const int named = mkstemp(temporary.data());
  if (named < 0)
    return false;
  bool written = fchmod(named, 0644) == 0 && writeAll(named, content);
  written = close(named) == 0 && written;
  written = written && rename(temporary.c_str(), target.c_str()) == 0;
  if (!written)
    unlink(temporary.c_str());
  return written;
}

namespace {

// The folder keptStylesheet writes to: $XDG_RUNTIME_DIR/xslvalidate-verdict,
// else xslvalidate-verdict-<uid> in $TMPDIR or /tmp. Made when missing,
// and used only when it is a folder (not a link) of this user's that no
// one else may enter; empty text otherwise.
std::string keptFolder() {
  const uid_t uid = geteuid();
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  std::string folder;
  if (runtime && runtime[0] == '/') {
    folder = std::string(runtime) + "/xslvalidate-verdict";
  } else {
    const char* temporary = getenv("TMPDIR");
    folder = (temporary && *temporary ? std::string(temporary) : std::string("/tmp")) +
             "/xslvalidate-verdict-" + std::to_string(uid);
  }
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return std::string();
  struct stat status;
  if (lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
      status.st_uid != uid || (status.st_mode & 077) != 0)
    return std::string();
  return folder;
}

// True when the file at `path` holds exactly `bytes`.
bool holds(const std::string& path, std::string_view bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0)
    return false;
  std::string content(bytes.size() + 1, '\0');
  size_t total = 0;
  ssize_t got;
  while (total < content.size() &&
         (got = read(fd, content.data() + total, content.size() - total)) > 0)
    total += static_cast<size_t>(got);
  close(fd);
  return total == bytes.size() && content.compare(0, total, bytes) == 0;
}

}  // namespace

std::u16string keptStylesheet(std::string_view stem, std::string_view bytes) {
  const std::string folder = keptFolder();
  if (folder.empty())
    return std::u16string();
  // FNV-1a over the bytes; the content is compared before any reuse, so a
  // clash of hashes costs a rewrite, never a wrong stylesheet.
  unsigned long long hash = 14695981039346656037ull;
  for (char c : bytes)
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char name[32];
  std::snprintf(name, sizeof name, "-%016llx.xsl", hash);
  const std::string path = folder + "/" + std::string(stem) + name;
  if (!holds(path, bytes)) {
    // Written beside it and renamed over it: a call that runs the file
    // meanwhile finds the old whole file or the new one, never none.
    std::string temporary = path + ".partXXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
      return std::u16string();
    bool written = writeAll(fd, bytes);
    written = close(fd) == 0 && written;
    written = written && rename(temporary.c_str(), path.c_str()) == 0;
    if (!written) {
      unlink(temporary.c_str());
      return std::u16string();
    }
  }
  return decodeArgument(path);
}

bool stderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

FileIdentity standardInputFile() {
  FileIdentity identity;
  struct stat status;
  if (fstat(STDIN_FILENO, &status) != 0 || !S_ISREG(status.st_mode))
    return identity;
  identity.exists = true;
  identity.device = status.st_dev;
  identity.index = status.st_ino;
  identity.size = static_cast<unsigned long long>(status.st_size);
  return identity;
}

StandardInput standardInput() {
  if (isatty(STDIN_FILENO) == 1)
    return StandardInput::kTerminal;
  struct stat status;
  if (fstat(STDIN_FILENO, &status) != 0)
    return StandardInput::kNothing;
  if (S_ISFIFO(status.st_mode) || S_ISREG(status.st_mode) || S_ISSOCK(status.st_mode))
    return StandardInput::kData;
  return StandardInput::kNothing;
}

std::u16string engineMessagesFile(std::u16string_view scratch) {
  return inFolder(scratch, u"engine-messages.txt");
}

bool engineKeepsReadRules() {
  return true;
}

unsigned processorCount() {
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? static_cast<unsigned>(count) : 1;
}
