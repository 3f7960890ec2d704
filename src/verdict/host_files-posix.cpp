// File identity, scratch folder and file opening on POSIX hosts: paths are
// the UTF-8 bytes of the tool's text, which toUtf8 always gives on
// these hosts (see host/utf8.h).
#include "verdict/host_files.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

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

std::u16string makeScratchFolder() {
  const char* base = getenv("TMPDIR");
  std::string folder = (base && *base ? std::string(base) : std::string("/tmp")) +
                       "/xslvalidate-verdict-XXXXXX";
  // mkdtemp makes the folder with mode 0700.
  if (mkdtemp(folder.data()) == nullptr)
    return std::u16string();
  return decodeArgument(folder);
}

void removeScratchFolder(std::u16string_view folder) {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(*toUtf8(folder)), ignored);
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
