#include "host/file_exists.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "host/utf8.h"

bool fileExists(std::u16string_view path, std::string* reason) {
  if (reason) reason->clear();
  // toUtf8 gives back the exact bytes the argument arrived as. lstat, not
  // stat: a link is itself an existing object, whatever it points to.
  std::optional<std::string> bytes = toUtf8(path);
  if (!bytes || bytes->empty()) return false;
  struct stat info;
  if (lstat(bytes->c_str(), &info) == 0) return true;
  const int error = errno;
  if (reason && error != ENOENT && error != ENOTDIR) *reason = std::strerror(error);
  return false;
}
