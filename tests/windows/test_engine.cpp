// A stand-in for the engine library, built as libsaxon-hec-12.5.0.dll for the
// end-to-end tests under Wine. It exports the same five calls as the real
// library (the list in src/engine/libsaxon-hec-12.5.0.def) and:
//
// - appends one line per call to engine-calls.log beside the DLL, each
//   option string written as hex bytes, so a test can compare exact UTF-8;
//   loading the DLL writes "attached", which shows that the tool bound to it
//   at load time even when it never calls it;
// - for each run writes a report at the "-o:" path through the wide file
//   calls, holding the run's options, one a line;
// - returns the status a test picks: a run whose stylesheet file is named
//   status<N>.xsl returns N (any signed 32-bit value), other runs 0;
//   XSLTEST_CREATE_ISOLATE_STATUS and XSLTEST_DETACH_STATUS, when set, are
//   returned by graal_create_isolate and graal_detach_thread. A report that
//   cannot be written makes the run return 70.
// - stands in for the verdict's summary stylesheet: a run of a stylesheet
//   named summary.xsl copies the fixture "<source>.summary" to the "-o:"
//   path, as if it had summarised the report at <source>, and returns 71
//   (as for a report that is not XML) when there is no such fixture; a run
//   of a stylesheet named nowrite.xsl returns 0 and writes nothing; a
//   source under the verdict's private report name
//   ".<name>.verdict-<pid>-<n>" takes the fixture of <name> beside it.
//   The verdict's one-element probe document (its whole content
//   "<xslvalidate-probe/>") is summarised as the plain document it is.
// - stands in for the verdict's configuration reader and scenario choice
//   the same way: runs of scenarios.xsl copy "<source>.summary", runs of
//   match.xsl "<source>.match"; match.xsl over a source without one (the
//   load-time compile check over a scratch document) writes "0", no
//   scenario.
// - stands in for the verdict's reading of a rule set's contexts: a run
//   of contexts.xsl copies "<source>.contexts" (the namespaces the rule set
//   at <source> names, one a line), and writes nothing into its output
//   when there is none (a rule set that names no namespace).
// - stands in for the configuration's report step: report-input.xsl copies
//   its source (the verdict's outline of the report's input) as the
//   input; a report runner (report-<n>.xsl, report-none.xsl) writes a
//   report that accepts, and "accept" as accept.txt beside its source;
//   explanation.xsl writes a page.
// - stands in for the verdict's page stylesheet as an engine that gives no
//   source lines: a run of page.xsl writes its summary with "no lines", an
//   invoice numbered INV-1, and one line without a place per location in
//   the list beside its output (page-locations.xml).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/engine_api.h"

struct graal_isolate_t {
  int unused;
};
struct graal_isolatethread_t {
  int unused;
};

namespace {

HMODULE engineModule;
graal_isolate_t theIsolate;
graal_isolatethread_t theThread;
bool isolateCreated = false;
// Option lists of the runs; processor data n is runs[n - 1].
std::vector<std::vector<std::string>> runs;

std::wstring logPath() {
  wchar_t buffer[MAX_PATH];
  DWORD length = GetModuleFileNameW(engineModule, buffer, MAX_PATH);
  std::wstring path(buffer, length);
  size_t slash = path.find_last_of(L"\\/");
  path.resize(slash == std::wstring::npos ? 0 : slash + 1);
  return path + L"engine-calls.log";
}

void logLine(const std::string& line) {
  HANDLE file = CreateFileW(logPath().c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return;
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
  CloseHandle(file);
}

std::string hexBytes(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += digits[byte >> 4];
    hex += digits[byte & 15];
  }
  return hex;
}

// "ok" when `thread` is the one handed out by graal_create_isolate.
const char* threadState(graal_isolatethread_t* thread) {
  return isolateCreated && thread == &theThread ? "ok" : "bad";
}

// The value of environment variable `name`, or 0 when it is unset.
int statusFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? static_cast<int>(std::strtol(value, nullptr, 10)) : 0;
}

// N for a stylesheet whose file name is status<N>.xsl, else 0.
int statusForStylesheet(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string prefix = "status";
  const std::string suffix = ".xsl";
  if (name.size() <= prefix.size() + suffix.size() ||
      name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return 0;
  std::string number = name.substr(
      prefix.size(), name.size() - prefix.size() - suffix.size());
  char* end = nullptr;
  long value = std::strtol(number.c_str(), &end, 10);
  return *end == '\0' ? static_cast<int>(value) : 0;
}

// The file name in `path`, after the last slash or backslash.
std::string fileName(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::wstring fromUtf8(const std::string& bytes) {
  if (bytes.empty())
    return std::wstring();
  int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                   static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                      static_cast<int>(bytes.size()), wide.data(), length);
  return wide;
}

// Writes the options, one a line, to `path`. Returns the Windows error
// code, 0 on success.
DWORD writeReport(const std::string& path,
                  const std::vector<std::string>& options) {
  HANDLE file = CreateFileW(fromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return GetLastError();
  std::string text;
  for (const std::string& option : options)
    text += option + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
  CloseHandle(file);
  return 0;
}

// The locations in the verdict's list beside `output`; 0 without a list.
int pageLocations(const std::string& output) {
  const std::string list = output.substr(0, output.find_last_of("\\/") + 1) + "page-locations.xml";
  std::FILE* file = _wfopen(fromUtf8(list).c_str(), L"rb");
  if (!file)
    return 0;
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    text.append(buffer, got);
  std::fclose(file);
  int count = 0;
  for (size_t at = text.find("<location"); at != std::string::npos;
       at = text.find("<location", at + 1))
    count += text.compare(at, 10, "<locations") != 0;
  return count;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    engineModule = instance;
    logLine("attached");
  }
  return TRUE;
}

int graal_create_isolate(graal_create_isolate_params_t* params,
                         graal_isolate_t** isolate,
                         graal_isolatethread_t** thread) {
  int status = statusFromEnvironment("XSLTEST_CREATE_ISOLATE_STATUS");
  logLine(std::string("graal_create_isolate params=") +
          (params ? "set" : "null") + " -> " + std::to_string(status));
  if (status != 0)
    return status;
  *isolate = &theIsolate;
  *thread = &theThread;
  isolateCreated = true;
  return 0;
}

int graal_detach_thread(graal_isolatethread_t* thread) {
  int status = statusFromEnvironment("XSLTEST_DETACH_STATUS");
  logLine(std::string("graal_detach_thread thread=") + threadState(thread) +
          " -> " + std::to_string(status));
  return status;
}

long long createProcessorDataWithCapacity(graal_isolatethread_t* thread,
                                          int capacity) {
  runs.emplace_back();
  long long data = static_cast<long long>(runs.size());
  logLine(std::string("createProcessorDataWithCapacity thread=") +
          threadState(thread) + " capacity=" + std::to_string(capacity) +
          " -> " + std::to_string(data));
  return data;
}

void addProcessorProperty(graal_isolatethread_t* thread,
                          long long processorData, char* option) {
  std::string bytes(option);
  logLine(std::string("addProcessorProperty thread=") + threadState(thread) +
          " data=" + std::to_string(processorData) + " " + hexBytes(bytes));
  if (processorData >= 1 && processorData <= static_cast<long long>(runs.size()))
    runs[processorData - 1].push_back(bytes);
}

// Whether the file at `path` holds exactly the verdict's probe document.
static bool isProbeDocument(const std::string& path) {
  HANDLE file = CreateFileW(fromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  char text[64];
  DWORD got = 0;
  const bool read = ReadFile(file, text, sizeof text, &got, nullptr);
  CloseHandle(file);
  return read && std::string(text, got) == "<xslvalidate-probe/>\n";
}

// The report name a private report name ".<name>.verdict-<pid>-<n>" in
// the same folder stands for; any other path as it is.
std::string reportNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const size_t mark = path.rfind(".verdict-");
  if (path.compare(start, 1, ".") != 0 || mark == std::string::npos || mark < start)
    return path;
  return path.substr(0, start) + path.substr(start + 1, mark - start - 1);
}

int j_run_transform(graal_isolatethread_t* thread, long long processorData) {
  std::string line = std::string("j_run_transform thread=") +
                     threadState(thread) +
                     " data=" + std::to_string(processorData);
  if (processorData < 1 || processorData > static_cast<long long>(runs.size())) {
    logLine(line + " unknown data -> 70");
    return 70;
  }
  const std::vector<std::string>& options = runs[processorData - 1];
  int status = 0;
  for (const std::string& option : options) {
    if (option.rfind("-xsl:", 0) == 0)
      status = statusForStylesheet(option.substr(5));
  }
  std::string source, stylesheet, output;
  for (const std::string& option : options) {
    if (option.rfind("-s:", 0) == 0) source = option.substr(3);
    if (option.rfind("-xsl:", 0) == 0) stylesheet = fileName(option.substr(5));
    if (option.rfind("-o:", 0) == 0) output = option.substr(3);
  }
  if (stylesheet == "report-input.xsl") {
    bool copied = CopyFileW(fromUtf8(source).c_str(), fromUtf8(output).c_str(), FALSE);
    logLine(line + " report input " + (copied ? "copied -> 0" : "missing -> 71"));
    return copied ? 0 : 71;
  }
  if (stylesheet.rfind("report-", 0) == 0) {
    DWORD error = writeReport(output,
                              {"<rep:report xmlns:rep=\"http://www.xoev.de/de/validator/varl/1\">"
                               "<rep:assessment><rep:accept/></rep:assessment></rep:report>"});
    if (!error)
      error = writeReport(source.substr(0, source.find_last_of("\\/") + 1) + "accept.txt",
                          {"accept"});
    logLine(line + " report step -> " + (error ? "70" : "0"));
    return error ? 70 : 0;
  }
  if (stylesheet == "explanation.xsl") {
    DWORD error = writeReport(output, {"<html><body>explained</body></html>"});
    logLine(line + " explanation -> " + (error ? "70" : "0"));
    return error ? 70 : 0;
  }
  if (stylesheet == "page.xsl") {
    std::vector<std::string> lines = {"page\t0", "id\tubl-invoice\tINV-1\t\t\t\t\t"};
    for (int i = pageLocations(output); i > 0; --i)
      lines.push_back("at\t0\t0\t\\-");
    DWORD error = writeReport(output, lines);
    logLine(line + " page -> " + (error ? "70" : "0"));
    return error ? 70 : 0;
  }
  if (stylesheet == "nowrite.xsl") {
    logLine(line + " nothing written -> 0");
    return 0;
  }
  if (stylesheet == "summary.xsl" || stylesheet == "scenarios.xsl" ||
      stylesheet == "match.xsl" || stylesheet == "contexts.xsl") {
    source = reportNameOf(source);
    const std::string fixture =
        source + (stylesheet == "match.xsl"      ? ".match"
                  : stylesheet == "contexts.xsl" ? ".contexts"
                                                 : ".summary");
    const bool missing =
        GetFileAttributesW(fromUtf8(fixture).c_str()) == INVALID_FILE_ATTRIBUTES;
    if (missing && stylesheet != "summary.xsl" && stylesheet != "scenarios.xsl") {
      DWORD error = writeReport(output, stylesheet == "match.xsl"
                                            ? std::vector<std::string>{"0"}
                                            : std::vector<std::string>{});
      logLine(line + " no fixture -> " + (error ? "70" : "0"));
      return error ? 70 : 0;
    }
    if (missing && stylesheet == "summary.xsl" && isProbeDocument(source)) {
      DWORD error = writeReport(output, {"not-svrl\t{}xslvalidate-probe\t"});
      logLine(line + " probe -> " + (error ? "70" : "0"));
      return error ? 70 : 0;
    }
    bool copied = CopyFileW(fromUtf8(fixture).c_str(), fromUtf8(output).c_str(), FALSE);
    logLine(line + " summary " + (copied ? "copied -> 0" : "missing -> 71"));
    return copied ? 0 : 71;
  }
  for (const std::string& option : options) {
    if (option.rfind("-o:", 0) != 0)
      continue;
    DWORD error = writeReport(option.substr(3), options);
    if (error != 0) {
      logLine(line + " report not written (error " + std::to_string(error) +
              ") -> 70");
      return 70;
    }
  }
  logLine(line + " -> " + std::to_string(status));
  return status;
}
