#include "engine/utf8.h"

#include <windows.h>

std::string toUtf8(std::u16string_view text) {
  if (text.empty())
    return std::string();
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  int length = static_cast<int>(text.size());
  int needed = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0,
                                   nullptr, nullptr);
  if (needed <= 0)
    return std::string();
  std::string bytes(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, bytes.data(), needed, nullptr,
                      nullptr);
  return bytes;
}
