#include "own_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <string_view>

namespace {

// The kernel gives up on a name after as many links.
constexpr int kMaxLinks = 40;

// True when `path` (absolute, without "." or "..") is or lies under one
// of the caller's own names.
bool ownName(std::string_view path) {
  for (std::string_view prefix :
       {"/proc", "/dev/fd", "/dev/stdin", "/dev/stdout", "/dev/stderr", "/dev/tty"}) {
    if (path.substr(0, prefix.size()) == prefix &&
        (path.size() == prefix.size() || path[prefix.size()] == '/')) {
      return true;
    }
  }
  return false;
}

// Puts the components of `path` before those already in `rest`.
void prepend(const std::string& path, std::deque<std::string>* rest) {
  std::deque<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    const std::size_t slash = path.find('/', at);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    if (end > at) parts.emplace_back(path.substr(at, end - at));
    at = end + 1;
  }
  rest->insert(rest->begin(), parts.begin(), parts.end());
}

}  // namespace

bool reachesOwnProcess(const std::string& path) {
  if (path.empty() || path[0] != '/') return true;
  std::deque<std::string> rest;
  prepend(path, &rest);
  std::string resolved;  // "" is the root
  int links = 0;
  while (!rest.empty()) {
    const std::string name = rest.front();
    rest.pop_front();
    if (name == ".") continue;
    if (name == "..") {
      resolved.resize(resolved.empty() ? 0 : resolved.rfind('/'));
      continue;
    }
    const std::string next = resolved + "/" + name;
    if (ownName(next)) return true;
    struct stat status;
    if (lstat(next.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      resolved = next;  // a name that does not exist stays as written
      continue;
    }
    if (++links > kMaxLinks) return true;
    std::string target(4096, '\0');
    const ssize_t length = readlink(next.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return true;
    target.resize(static_cast<std::size_t>(length));
    if (target[0] == '/') resolved.clear();
    prepend(target, &rest);
  }
  return ownName(resolved.empty() ? "/" : resolved);
}
