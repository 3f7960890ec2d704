// A test helper for the Wine tests: runs a program with arguments that may
// hold any UTF-16 code unit, lone surrogates included, which no Linux
// command line can hand to Wine.
//
// Usage: launch.exe PROGRAM ARG...
// In each ARG, \uXXXX (four hex digits) stands for that code unit. The
// program is started with CreateProcessW, every argument in double quotes
// (so no argument may hold a double quote or end in a backslash), sharing this console; launch.exe
// returns its exit status, or 120 when it cannot start it.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

int hexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

std::wstring unescape(const wchar_t* arg) {
  std::wstring text;
  size_t n = std::wcslen(arg);
  for (size_t i = 0; i < n; ++i) {
    if (arg[i] == L'\\' && i + 6 <= n && arg[i + 1] == L'u') {
      int value = 0;
      bool ok = true;
      for (size_t k = 2; ok && k < 6; ++k) {
        int d = hexDigit(arg[i + k]);
        ok = d >= 0;
        value = value * 16 + d;
      }
      if (ok) {
        text.push_back(static_cast<wchar_t>(value));
        i += 5;
        continue;
      }
    }
    text.push_back(arg[i]);
  }
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fputws(L"usage: launch.exe PROGRAM ARG...\n", stderr);
    return 120;
  }
  std::wstring commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += L' ';
    commandLine += L'"' + unescape(argv[i]) + L'"';
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                      nullptr, nullptr, &startup, &process))
    return 120;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 120;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return static_cast<int>(status);
}
