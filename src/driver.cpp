#include "driver.h"

#include <cstdio>

#include "engine/bridge.h"
#include "host/file_exists.h"
#include "version.h"

int runDriver(const std::vector<std::u16string>& arguments) {
  std::fputs("xslvalidate " XSLVALIDATE_VERSION
             ": validates an XML document against XSLT stylesheets\n",
             stdout);

  if (arguments.size() < 3) {
    std::fputs("Error: invalid arguments. Expected xml-file schema1-file "
               "schema2-file ...\n",
               stdout);
    return 1;
  }

  const std::u16string& inputPath = arguments[1];
  if (!fileExists(inputPath)) {
    std::fputs("Error: input file does not exist\n", stdout);
    return 1;
  }

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

  std::fflush(stdout);
  if (graal_detach_thread(environment.thread) != 0) {
    std::fputs("Error: graal_detach_thread error\n", stdout);
    return 2;
  }
  return status;
}
