#include "driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/bridge.h"
#include "host/file_exists.h"
#include "host/utf8.h"
#include "version.h"

namespace {

// The error of the first write to standard output that failed, as far as
// flushing tells it; 0 while none has.
int gOutputError = 0;

// Keeps the error of a failed write or flush of standard output, the
// first one only.
void noteOutputResult(bool failed) {
  if (failed && gOutputError == 0)
    gOutputError = errno != 0 ? errno : EIO;
}

// Writes `line` to standard output.
void writeOutput(const char* line) {
  errno = 0;
  const bool failed = std::fputs(line, stdout) == EOF;
  noteOutputResult(failed || std::ferror(stdout));
}

// Flushes standard output.
void flushOutput() {
  errno = 0;
  const bool failed = std::fflush(stdout) != 0;
  noteOutputResult(failed || std::ferror(stdout));
}

// Everything runDriver does but the last check of standard output.
int runStylesheets(const std::vector<std::u16string>& arguments) {
  writeOutput("xslvalidate " XSLVALIDATE_VERSION
             ": validates an XML document against XSLT stylesheets\n");

  if (arguments.size() < 3) {
    writeOutput("Error: invalid arguments. Expected xml-file schema1-file "
               "schema2-file ...\n");
    return 1;
  }

  const std::u16string& inputPath = arguments[1];
  std::string unreachable;
  if (!fileExists(inputPath, &unreachable)) {
    writeOutput("Error: input file does not exist\n");
    if (!unreachable.empty()) {
      std::fprintf(stderr, "xslvalidate: cannot reach %s: %s\n",
                   toUtf8(inputPath).value_or("the input file").c_str(),
                   unreachable.c_str());
    }
    return 1;
  }

  // Out before the engine starts, which may flush it itself, unseen.
  flushOutput();

  // Lives for the rest of the process: the isolate is never torn down.
  static EngineEnvironment environment;
  if (createIsolate(&environment) != 0)
    return 1;

  int status = 0;
  for (size_t i = 2; i < arguments.size(); ++i) {
    status = runTransform(&environment, inputPath, arguments[i]);
    if (status != 0)
      break;
  }

  flushOutput();
  if (graal_detach_thread(environment.thread) != 0) {
    writeOutput("Error: graal_detach_thread error\n");
    return 2;
  }
  return status;
}

}  // namespace

int runDriver(const std::vector<std::u16string>& arguments) {
  const int status = runStylesheets(arguments);
  // The reports are the result and the status tells about them; standard
  // output only repeats the banner and the driver's own errors. Output that
  // could not be written is said on standard error and changes no status.
  flushOutput();
  if (gOutputError != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "xslvalidate: standard output could not be written: %s\n",
                 std::strerror(gOutputError != 0 ? gOutputError : EIO));
  }
  return status;
}
