#include "host/file_exists.h"

#include <windows.h>

#include <string>

#include "host/long_path.h"

bool fileExists(std::u16string_view path, std::string* reason) {
  if (reason)
    reason->clear();
  if (path.empty())
    return false;
  std::wstring text(path.begin(), path.end());
  // Windows refuses a path whose full form reaches MAX_PATH unless it is
  // written in the extended-length form "\\?\C:\..." (or "\\?\UNC\...").
  DWORD size = GetFullPathNameW(text.c_str(), 0, nullptr, nullptr);
  if (size >= MAX_PATH) {
    std::wstring full(size, L'\0');
    DWORD length = GetFullPathNameW(text.c_str(), size, full.data(), nullptr);
    if (length > 0 && length < size) {
      full.resize(length);
      std::u16string extended =
          extendedLengthPath(std::u16string(full.begin(), full.end()));
      text.assign(extended.begin(), extended.end());
    }
  }
  // No "insert a disk" dialog for a removable drive without media.
  DWORD previousMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previousMode);
  DWORD attributes = GetFileAttributesW(text.c_str());
  SetThreadErrorMode(previousMode, nullptr);
  return attributes != INVALID_FILE_ATTRIBUTES;
}
