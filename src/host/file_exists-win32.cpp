#include "host/file_exists.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

bool fileExists(std::u16string_view path) {
  std::u16string text(path);  // NUL-terminated copy
  return PathFileExistsW(reinterpret_cast<const wchar_t*>(text.c_str())) !=
         FALSE;
}
