#include "own_file.h"

#include <dlfcn.h>

std::optional<std::string> ownFile() {
  Dl_info info;
  if (dladdr(reinterpret_cast<const void*>(&ownFile), &info) == 0 || !info.dli_fname ||
      info.dli_fname[0] != '/') {
    return std::nullopt;
  }
  return std::string(info.dli_fname);
}

std::optional<std::string> ownDirectory() {
  auto file = ownFile();
  if (file) file->resize(file->rfind('/'));
  return file;
}
