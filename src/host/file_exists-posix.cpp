#include "host/file_exists.h"

#include <sys/stat.h>

#include <string>

#include "host/utf8.h"

bool fileExists(std::u16string_view path) {
  // toUtf8 gives back the exact bytes the argument arrived as. lstat, not
  // stat: a link is itself an existing object, whatever it points to.
  std::optional<std::string> bytes = toUtf8(path);
  struct stat info;
  return bytes && !bytes->empty() && lstat(bytes->c_str(), &info) == 0;
}
