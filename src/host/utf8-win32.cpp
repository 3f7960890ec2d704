#include "host/utf8.h"

#include <windows.h>

std::optional<std::string> toUtf8(std::u16string_view text) {
  if (text.empty())
    return std::string();
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  int length = static_cast<int>(text.size());
  // WC_ERR_INVALID_CHARS: fail on a lone surrogate instead of writing
  // U+FFFD in its place, which would name another file.
  int needed = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, length,
                                   nullptr, 0, nullptr, nullptr);
  if (needed <= 0)
    return std::nullopt;
  std::string bytes(static_cast<size_t>(needed), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, length,
                          bytes.data(), needed, nullptr, nullptr) != needed)
    return std::nullopt;
  return bytes;
}
