#include "verdict/verdict.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/bridge.h"
#include "host/file_exists.h"
#include "verdict/check.h"
#include "verdict/host_files.h"
#include "verdict/printer.h"
#include "verdict/scenarios.h"
#include "verdict/shown.h"
#include "verdict/summary_line.h"
#include "version.h"

namespace {

const char kUsage[] =
    "usage: xslvalidate-verdict [--json] [--warnings-as-errors] xml-file "
    "rules1 [rules2 ...]\n"
    "       xslvalidate-verdict [--json] [--warnings-as-errors] "
    "--scenarios scenarios.xml [--repository folder] xml-file\n";

struct Options {
  bool json = false;
  bool warningsAsErrors = false;
  bool help = false;
  std::u16string scenarios;   // empty: rule sets named by hand
  std::u16string repository;  // where the configuration's locations start
  bool repositoryGiven = false;
  size_t firstOperand = 1;  // index of the document in the arguments
};

// Reads the options before the document; "--" ends them. Returns false
// after writing the error for an unknown option.
bool parseOptions(const std::vector<std::u16string>& arguments,
                  Options* options) {
  size_t i = 1;
  for (; i < arguments.size(); ++i) {
    const std::u16string& argument = arguments[i];
    if (argument == u"--") {
      ++i;
      break;
    }
    if (argument.size() < 2 || argument[0] != u'-')
      break;
    if (argument == u"--json") {
      options->json = true;
    } else if (argument == u"--warnings-as-errors") {
      options->warningsAsErrors = true;
    } else if (argument == u"--help" || argument == u"-h") {
      options->help = true;
    } else if (argument == u"--scenarios" || argument == u"-s" ||
               argument == u"--repository" || argument == u"-r") {
      if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
        std::fprintf(stderr, "xslvalidate-verdict: option %s needs a value\n%s",
                     shown(argument).c_str(), kUsage);
        return false;
      }
      const bool scenarios = argument == u"--scenarios" || argument == u"-s";
      (scenarios ? options->scenarios : options->repository) = arguments[++i];
      if (!scenarios)
        options->repositoryGiven = true;
    } else {
      std::fprintf(stderr, "xslvalidate-verdict: unknown option %s\n%s",
                   shown(argument).c_str(), kUsage);
      return false;
    }
  }
  options->firstOperand = i;
  return true;
}

// Writes `text` to standard output and flushes it. Returns the system's
// reason when that failed, empty text when it did not.
std::string writeOutput(const std::string& text) {
  errno = 0;
  bool failed = std::fwrite(text.data(), 1, text.size(), stdout) != text.size();
  failed = std::fflush(stdout) != 0 || failed || std::ferror(stdout);
  if (!failed)
    return std::string();
  return std::strerror(errno != 0 ? errno : EIO);
}

}  // namespace

int runVerdict(const std::vector<std::u16string>& arguments) {
  Options options;
  if (!parseOptions(arguments, &options))
    return kUsageError;
  if (options.help) {
    std::fputs("xslvalidate-verdict " XSLVALIDATE_VERSION
               ": validates an XML document and says whether the rules accept it\n",
               stdout);
    std::fputs(kUsage, stdout);
    return 0;
  }
  const size_t operands = arguments.size() - options.firstOperand;
  if (options.scenarios.empty() && operands < 2) {
    std::fprintf(stderr, "xslvalidate-verdict: expected a document and at "
                         "least one stylesheet\n%s", kUsage);
    return kUsageError;
  }
  if (!options.scenarios.empty() && operands != 1) {
    std::fprintf(stderr, "xslvalidate-verdict: with --scenarios, expected one "
                         "document and no stylesheet\n%s", kUsage);
    return kUsageError;
  }
  if (options.scenarios.empty() && options.repositoryGiven) {
    std::fprintf(stderr, "xslvalidate-verdict: --repository needs --scenarios\n%s",
                 kUsage);
    return kUsageError;
  }
  const std::u16string& document = arguments[options.firstOperand];
  if (!fileExists(document)) {
    std::fprintf(stderr, "xslvalidate-verdict: document does not exist: %s\n",
                 shown(document).c_str());
    return kUsageError;
  }

  CheckPlan plan;
  plan.warningsAsErrors = options.warningsAsErrors;
  plan.ruleSets.assign(arguments.begin() + options.firstOperand + 1,
                       arguments.end());
  DocumentResult result;
  CheckWorker worker;
  worker.scratch = makeScratchFolder();
  if (worker.scratch.empty()) {
    result.document = shown(document);
    result.warningsAsErrors = options.warningsAsErrors;
    result.reason = "no temporary folder could be made";
  } else {
    // Lives for the rest of the process: the isolate is never torn down.
    static EngineEnvironment environment;
    if (createIsolate(&environment) != 0) {
      result.document = shown(document);
      result.warningsAsErrors = options.warningsAsErrors;
      result.reason = "the engine could not be started";
    } else {
      worker.environment = &environment;
      ScenarioSet scenarios;
      if (!options.scenarios.empty()) {
        std::string refused = loadScenarios(&environment, options.scenarios,
                                            options.repository, worker.scratch,
                                            &scenarios);
        if (!refused.empty()) {
          graal_detach_thread(environment.thread);
          removeScratchFolder(worker.scratch);
          std::fprintf(stderr,
                       "xslvalidate-verdict: scenarios configuration %s "
                       "refused: %s\n",
                       visible(shown(options.scenarios)).c_str(),
                       visible(refused).c_str());
          return kUsageError;
        }
        plan.scenarios = &scenarios;
      }
      result = checkDocument(plan, &worker, document, u"");
      if (graal_detach_thread(environment.thread) != 0 && result.reason.empty()) {
        result.verdict = Verdict::kNone;
        result.reason = "engine: the engine could not be detached";
      }
    }
    removeScratchFolder(worker.scratch);
  }

  std::string failure =
      writeOutput(options.json ? jsonOutput(result) : textOutput(result));
  if (!failure.empty()) {
    std::fprintf(stderr,
                 "xslvalidate-verdict: standard output could not be written: %s\n",
                 failure.c_str());
    return kOutputError;
  }
  if (result.verdict == Verdict::kNone)
    return kNoVerdict;
  return result.verdict == Verdict::kRejected ? kRejected : kAccepted;
}
