// File identity, scratch folder and file opening on Windows, through the
// wide-character calls.
#include "verdict/host_files.h"

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

std::wstring wide(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

}  // namespace

FileIdentity fileIdentity(std::u16string_view path) {
  FileIdentity identity;
  // Opening for no access at all reads the file's attributes without
  // getting in the way of anyone else; backup semantics admits folders.
  HANDLE file = CreateFileW(wide(path).c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return identity;
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(file, &information)) {
    identity.exists = true;
    identity.device = information.dwVolumeSerialNumber;
    identity.index = (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) |
                     information.nFileIndexLow;
    identity.size = (static_cast<unsigned long long>(information.nFileSizeHigh) << 32) |
                    information.nFileSizeLow;
    identity.modified = static_cast<long long>(
        (static_cast<unsigned long long>(information.ftLastWriteTime.dwHighDateTime) << 32) |
        information.ftLastWriteTime.dwLowDateTime);
  }
  CloseHandle(file);
  return identity;
}

std::u16string keptStylesheet(std::string_view, std::string_view) {
  // Each call is a process of its own with nothing kept between calls.
  return std::u16string();
}

namespace {

// The user's folder for temporary files, ending in a separator; empty
// text when Windows gives none.
std::wstring temporaryBase() {
  wchar_t base[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH)
    return std::wstring();
  std::wstring prefix(base, length);
  if (prefix.back() != L'\\' && prefix.back() != L'/')
    prefix += L'\\';
  return prefix;
}

}  // namespace

std::u16string makeScratchFolder() {
  std::wstring prefix = temporaryBase();
  if (prefix.empty())
    return std::u16string();
  prefix += L"xslvalidate-verdict-" + std::to_wstring(GetCurrentProcessId()) + L"-";
  // The folder under the user's own temporary folder inherits its access
  // rights; CreateDirectoryW fails when the name is taken, so the folder
  // is new.
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    std::wstring folder = prefix + std::to_wstring(GetTickCount() + attempt);
    if (CreateDirectoryW(folder.c_str(), nullptr))
      return std::u16string(reinterpret_cast<const char16_t*>(folder.data()),
                            folder.size());
  }
  return std::u16string();
}

ScratchPlace scratchPlace() {
  return ScratchPlace{};
}

void sweepStaleScratch() {
  // "xslvalidate-verdict-<pid>-<n>" of a process that is gone: a call
  // ended by Ctrl-C or killed, which removes nothing on Windows. A process
  // that runs under that id now keeps the folder: reused ids only delay.
  const std::wstring base = temporaryBase();
  if (base.empty())
    return;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((base + L"xslvalidate-verdict-*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return;
  std::vector<std::wstring> stale;
  do {
    const std::wstring name = found.cFileName;
    const size_t start = std::wstring(L"xslvalidate-verdict-").size();
    size_t end = start;
    while (end < name.size() && name[end] >= L'0' && name[end] <= L'9')
      ++end;
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || end == start ||
        end - start > 9 || end + 1 >= name.size() || name[end] != L'-')
      continue;
    const DWORD pid = static_cast<DWORD>(std::stoul(name.substr(start, end - start)));
    if (pid == GetCurrentProcessId())
      continue;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process) {
      CloseHandle(process);
      continue;
    }
    if (GetLastError() == ERROR_INVALID_PARAMETER)  // no such process
      stale.push_back(base + name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  for (const std::wstring& folder : stale) {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(folder), ignored);
  }
}

void removeScratchFolder(std::u16string_view folder) {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(wide(folder)), ignored);
}

std::u16string inFolder(std::u16string_view folder, std::u16string_view name) {
  return std::u16string(folder) + u"\\" + std::u16string(name);
}

void removeFile(std::u16string_view path) {
  DeleteFileW(wide(path).c_str());
}

std::FILE* openFile(std::u16string_view path, const char* mode) {
  std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(wide(path).c_str(), wideMode.c_str());
}

std::filesystem::path fsPath(std::u16string_view path) {
  return std::filesystem::path(wide(path));
}

std::u16string fromFsPath(const std::filesystem::path& path) {
  const std::wstring& text = path.native();
  return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

bool makeFolders(std::u16string_view folder) {
  std::error_code error;
  std::filesystem::create_directories(fsPath(folder), error);
  return std::filesystem::is_directory(fsPath(folder), error);
}

std::u16string makePrivateFileBeside(std::u16string_view path, std::string* reason) {
  // "." + the file name + ".verdict-<pid>-<n>" in the same folder.
  const std::filesystem::path target(wide(path));
  const std::wstring folder = target.parent_path().native();
  const std::wstring prefix = (folder.empty() ? std::wstring() : folder + L"\\") + L"." +
                              target.filename().native().substr(0, 200) + L".verdict-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-";
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = prefix + std::to_wstring(GetTickCount() + attempt);
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return std::u16string(reinterpret_cast<const char16_t*>(name.data()), name.size());
    }
    if (GetLastError() != ERROR_FILE_EXISTS) {
      *reason = "Windows error " + std::to_string(GetLastError());
      return std::u16string();
    }
  }
  *reason = "no free name";
  return std::u16string();
}

bool isReadOnlyFile(std::u16string_view path) {
  const DWORD attributes = GetFileAttributesW(wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         (attributes & FILE_ATTRIBUTE_READONLY);
}

std::string renameFile(std::u16string_view from, std::u16string_view to) {
  if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING))
    return std::string();
  return "Windows error " + std::to_string(GetLastError());
}

bool writeFileAtomically(std::u16string_view path, std::string_view content) {
  // A name of this process's own beside the target; Windows has no
  // handler to remove it on Ctrl-C, so the window is kept to the write.
  std::wstring target = wide(path);
  std::wstring temporary = target + L".part" + std::to_wstring(GetCurrentProcessId()) +
                           L"-" + std::to_wstring(GetCurrentThreadId());
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  bool written = true;
  for (size_t done = 0; written && done < content.size();) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(
        std::min<size_t>(content.size() - done, 1u << 30));
    written = WriteFile(file, content.data() + done, chunk, &n, nullptr) && n > 0;
    done += n;
  }
  written = CloseHandle(file) && written;
  written = written && MoveFileExW(temporary.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING) != 0;
  if (!written)
    DeleteFileW(temporary.c_str());
  return written;
}

bool stderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

FileIdentity standardInputFile() {
  FileIdentity identity;
  HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
  BY_HANDLE_FILE_INFORMATION information;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
      GetFileType(handle) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(handle, &information))
    return identity;
  identity.exists = true;
  identity.device = information.dwVolumeSerialNumber;
  identity.index = (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) |
                   information.nFileIndexLow;
  return identity;
}

StandardInput standardInput() {
  HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
    return StandardInput::kNothing;
  switch (GetFileType(handle)) {
    case FILE_TYPE_PIPE:
    case FILE_TYPE_DISK:
      return StandardInput::kData;
    case FILE_TYPE_CHAR: {
      // A console, or a device such as NUL.
      DWORD mode = 0;
      return GetConsoleMode(handle, &mode) ? StandardInput::kTerminal : StandardInput::kNothing;
    }
    default:
      return StandardInput::kNothing;
  }
}

std::u16string engineMessagesFile(std::u16string_view) {
  return std::u16string();
}

bool engineKeepsReadRules() {
  return false;
}

unsigned processorCount() {
  const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return count > 0 ? count : 1;
}
