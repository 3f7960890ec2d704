#include "verdict/verdict.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <system_error>

#include "host/utf8.h"
#include "path/path_text.h"
#include "verdict/batch.h"
#include "verdict/check.h"
#include "verdict/host_files.h"
#include "verdict/html_page.h"
#include "verdict/inputs.h"
#include "verdict/junit.h"
#include "verdict/printer.h"
#include "verdict/scenarios.h"
#include "verdict/scratch_guard.h"
#include "verdict/shown.h"
#include "verdict/summary_line.h"
#include "verdict/tally.h"
#include "version.h"

namespace {

const char kUsage[] =
    "usage: xslvalidate-verdict [options] xml-file rules1 [rules2 ...]\n"
    "       xslvalidate-verdict [options] --rules rules1 [--rules rules2 ...] "
    "document-or-folder...\n"
    "       xslvalidate-verdict [options] --scenarios scenarios.xml "
    "[--repository folder] document-or-folder...\n"
    "options: --json --warnings-as-errors --jobs N --shard I/N --report-dir DIR\n"
    "         --junit FILE --html DIR --version --help\n";

struct Options {
  bool json = false;
  bool warningsAsErrors = false;
  bool help = false;
  bool version = false;
  size_t jobs = 0;  // 0: one per core
  Shard shard;
  bool sharded = false;
  std::u16string reportDir;
  std::u16string junit;
  std::u16string html;
  std::vector<std::u16string> ruleSets;  // by --rules; the operands are then documents
  std::u16string scenarios;   // a scenario configuration; the operands are then documents
  std::u16string repository;  // where the configuration's locations start
  bool repositoryGiven = false;
  std::vector<std::u16string> operands;
};

bool usageError(const std::string& message) {
  std::fprintf(stderr, "xslvalidate-verdict: %s\n%s", message.c_str(), kUsage);
  return false;
}

// Reads the options before the operands ("--" ends them); an option's
// value is the next argument or follows "=". Returns false after writing
// the error for an unknown option or a bad value.
bool parseOptions(const std::vector<std::u16string>& arguments, Options* options) {
  size_t i = 1;
  for (; i < arguments.size(); ++i) {
    std::u16string argument = arguments[i];
    if (argument == u"--") {
      ++i;
      break;
    }
    if (argument.size() < 2 || argument[0] != u'-')
      break;
    std::optional<std::u16string> attached;
    if (size_t equals = argument.find(u'='); equals != std::u16string::npos) {
      attached = argument.substr(equals + 1);
      argument.resize(equals);
    }
    auto value = [&](std::u16string* into) {
      if (attached) {
        *into = *attached;
        return true;
      }
      if (i + 1 >= arguments.size())
        return usageError(shown(argument) + " needs a value");
      *into = arguments[++i];
      return true;
    };
    std::u16string text;
    if (argument == u"--json") {
      options->json = true;
    } else if (argument == u"--warnings-as-errors") {
      options->warningsAsErrors = true;
    } else if (argument == u"--help" || argument == u"-h") {
      options->help = true;
    } else if (argument == u"--version") {
      options->version = true;
    } else if (argument == u"--rules") {
      if (!value(&text))
        return false;
      options->ruleSets.push_back(text);
    } else if (argument == u"--scenarios" || argument == u"-s") {
      if (!value(&options->scenarios))
        return false;
      if (options->scenarios.empty())
        return usageError(shown(argument) + " needs a value");
    } else if (argument == u"--repository" || argument == u"-r") {
      if (!value(&options->repository))
        return false;
      if (options->repository.empty())
        return usageError(shown(argument) + " needs a value");
      options->repositoryGiven = true;
    } else if (argument == u"--report-dir") {
      if (!value(&options->reportDir))
        return false;
    } else if (argument == u"--junit") {
      if (!value(&options->junit))
        return false;
    } else if (argument == u"--html") {
      if (!value(&options->html))
        return false;
    } else if (argument == u"--jobs") {
      if (!value(&text))
        return false;
      const std::string digits = shown(text);
      char* end = nullptr;
      const unsigned long jobs = std::strtoul(digits.c_str(), &end, 10);
      if (digits.empty() || *end != '\0' || digits[0] == '-' || jobs == 0 || jobs > 64)
        return usageError("--jobs takes a whole number from 1 to 64, not " + digits);
      options->jobs = jobs;
    } else if (argument == u"--shard") {
      if (!value(&text))
        return false;
      const std::optional<Shard> shard = parseShard(shown(text));
      if (!shard)
        return usageError("--shard takes I/N with 0 <= I < N, not " + shown(text));
      options->shard = *shard;
      options->sharded = true;
    } else {
      return usageError("unknown option " + shown(argument));
    }
  }
  options->operands.assign(arguments.begin() + static_cast<long>(i), arguments.end());
  return true;
}

// Writes `text` to `stream` and flushes it. Returns the system's reason
// when that failed, empty text when it did not.
std::string writeOutput(std::FILE* stream, const std::string& text) {
  errno = 0;
  bool failed = std::fwrite(text.data(), 1, text.size(), stream) != text.size();
  failed = std::fflush(stream) != 0 || failed || std::ferror(stream);
  if (!failed)
    return std::string();
  return std::strerror(errno != 0 ? errno : EIO);
}

// The stem of a stylesheet's file name: the part its reports are named by.
std::u16string stemOf(const std::u16string& stylesheet) {
  PathText text{hostGrammar()};
  std::u16string name = stylesheet.substr(text.filenameStart(stylesheet));
  const size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string utcTimestamp() {
  const std::time_t now = std::time(nullptr);
  char text[32] = "";
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&now));
  return text;
}

// The progress line on standard error, for a person watching a batch.
struct Progress {
  bool wanted = false;
  size_t total = 0;
  bool drawn = false;  // a line is on the terminal now
  void clear() {
    if (drawn)
      std::fputs("\r\033[K", stderr);
    drawn = false;
  }
  void draw(size_t done, const Tally& tally) {
    if (!wanted)
      return;
    std::fprintf(stderr, "\r%zu of %zu checked: accepted %lld, rejected %lld, no verdict %lld",
                 done, total, tally.accepted, tally.rejected, tally.noVerdict);
    std::fflush(stderr);
    drawn = true;
  }
};

// The folder that holds a scenario configuration's match stylesheet while
// the call lasts; removed with it, and on an interrupting signal.
struct ConfigurationFolder {
  std::u16string folder;
  int held = -1;
  bool engineFailed = false;  // no verdict is possible: not the configuration's fault
  // Reads the configuration of `options` into `set` with an engine
  // environment of its own. Returns the reason it is refused, or empty.
  std::string load(const Options& options, ScenarioSet* set) {
    // The engine first, whose own signal clean-up the folder's passes the
    // signal on to; the folder only once a signal would remove it.
    EngineEnvironment environment{};
    if (createIsolate(&environment) != 0) {
      engineFailed = true;
      return "the engine could not be started";
    }
    installScratchCleanup();
    folder = makeScratchFolder();
    if (folder.empty()) {
      graal_detach_thread(environment.thread);
      return "no temporary folder could be made";
    }
    held = holdScratchFolder(folder);
    std::string refused =
        loadScenarios(&environment, options.scenarios, options.repository, folder, set);
    graal_detach_thread(environment.thread);
    return refused;
  }
  ~ConfigurationFolder() {
    releaseScratchFolder(held);
    if (!folder.empty())
      removeScratchFolder(folder);
  }
};

// Writes what the engine wrote about `result`'s runs on standard error:
// each rule set's compile messages (its warnings, the same for every
// document) the first time this call meets them, then the document's own
// run messages whole, even where another document's were the same. Lines
// are shown as `visible` makes them.
void showEngineMessages(const DocumentResult& result, std::set<std::string>* shownCompiles) {
  auto show = [](const std::string& messages) {
    size_t start = 0;
    while (start < messages.size()) {
      size_t end = messages.find('\n', start);
      if (end == std::string::npos)
        end = messages.size();
      std::fprintf(stderr, "%s\n", visible(messages.substr(start, end - start)).c_str());
      start = end + 1;
    }
  };
  for (const std::string& compile : result.compileMessages)
    if (shownCompiles->insert(compile).second)
      show(compile);
  show(result.runMessages);
}

}  // namespace

int runVerdict(const std::vector<std::u16string>& arguments) {
  // What calls ended by SIGKILL left behind, before this one adds its own.
  sweepStaleScratch();
  Options options;
  if (!parseOptions(arguments, &options))
    return kUsageError;
  if (options.help || options.version) {
    std::fputs("xslvalidate-verdict " XSLVALIDATE_VERSION "\n", stdout);
    if (options.help)
      std::fputs(kUsage, stdout);
    return 0;
  }

  // Either the document first and then its rule sets, or rule sets by
  // --rules or a scenario configuration and every operand a document or a
  // folder of them.
  CheckPlan plan;
  plan.warningsAsErrors = options.warningsAsErrors;
  std::vector<std::u16string> documentOperands;
  if (!options.scenarios.empty() && !options.ruleSets.empty()) {
    usageError("--scenarios and --rules exclude each other");
    return kUsageError;
  }
  if (options.scenarios.empty() && options.repositoryGiven) {
    usageError("--repository needs --scenarios");
    return kUsageError;
  }
  if (options.ruleSets.empty() && options.scenarios.empty()) {
    if (options.operands.size() < 2) {
      usageError("expected a document and at least one stylesheet");
      return kUsageError;
    }
    documentOperands.push_back(options.operands[0]);
    plan.ruleSets.assign(options.operands.begin() + 1, options.operands.end());
  } else {
    if (options.operands.empty()) {
      usageError("expected at least one document or folder");
      return kUsageError;
    }
    documentOperands = options.operands;
    plan.ruleSets = options.ruleSets;
  }

  // The configuration is read once, before any document; its match
  // stylesheet lives in a folder of its own for the whole call.
  ScenarioSet scenarios;
  ConfigurationFolder configuration;
  if (!options.scenarios.empty()) {
    const std::string refused = configuration.load(options, &scenarios);
    if (configuration.engineFailed) {
      std::fprintf(stderr, "xslvalidate-verdict: no verdict: %s\n", refused.c_str());
      return kNoVerdict;
    }
    if (!refused.empty()) {
      std::fprintf(stderr, "xslvalidate-verdict: scenarios configuration %s refused: %s\n",
                   visible(shown(options.scenarios)).c_str(), visible(refused).c_str());
      return kUsageError;
    }
    plan.scenarios = &scenarios;
  }

  std::vector<std::u16string> stems;
  for (const std::u16string& stylesheet : plan.ruleSets)
    stems.push_back(stemOf(stylesheet));
  for (const Scenario& scenario : scenarios.scenarios)
    for (const std::u16string& stylesheet : scenario.ruleSets)
      stems.push_back(stemOf(stylesheet));
  std::vector<std::u16string> skip;
  for (const std::u16string* folder : {&options.reportDir, &options.html})
    if (!folder->empty())
      skip.push_back(*folder);
  InputSet inputs = collectInputs(documentOperands, stems, skip);
  if (!inputs.error.empty()) {
    std::fprintf(stderr, "xslvalidate-verdict: %s\n", inputs.error.c_str());
    return kUsageError;
  }
  // A batch: more than one document operand, or a folder. Its --json form
  // is JSON Lines, and a summary follows the last document.
  bool batch = documentOperands.size() > 1;
  for (const std::u16string& operand : documentOperands) {
    std::error_code ignored;
    batch = batch || std::filesystem::is_directory(fsPath(operand), ignored);
  }
  std::vector<InputDocument> documents =
      options.sharded ? shardOf(inputs.documents, options.shard) : inputs.documents;
  for (const std::u16string* folder : {&options.reportDir, &options.html}) {
    const std::string clash = reportClash(documents, *folder);
    if (!clash.empty()) {
      std::fprintf(stderr, "xslvalidate-verdict: %s would have the same report names in %s\n",
                   clash.c_str(), shown(*folder).c_str());
      return kUsageError;
    }
  }

  const size_t jobs = options.jobs != 0 ? options.jobs : processorCount();
  Tally tally;
  Progress progress{batch && stderrIsTerminal(), documents.size()};
  std::vector<DocumentResult> results;  // kept for the JUnit file
  std::vector<double> seconds;
  std::string outputFailure;
  std::vector<std::string> fileFailures;  // every output file that could not be written
  std::set<std::string> shownCompiles;
  checkBatch(plan, documents, options.reportDir, jobs,
             [&](size_t position, const DocumentResult& result, double took) {
               addToTally(&tally, result);
               progress.clear();
               showEngineMessages(result, &shownCompiles);
               if (outputFailure.empty()) {
                 outputFailure = writeOutput(
                     stdout, !options.json ? textOutput(result)
                             : batch       ? jsonLine(result)
                                           : jsonOutput(result));
               }
               if (!options.html.empty()) {
                 const std::u16string folder = reportFolderOf(documents[position], options.html);
                 const std::u16string page =
                     inFolder(folder, htmlPageName(documents[position].path));
                 if (!makeFolders(folder) || !writeFileAtomically(page, htmlPage(result)))
                   fileFailures.push_back("the page " + visible(shown(page)) +
                                          " could not be written");
               }
               if (!options.junit.empty()) {
                 results.push_back(result);
                 seconds.push_back(took);
               }
               progress.draw(position + 1, tally);
             });
  progress.clear();

  if (!options.junit.empty()) {
    std::vector<TimedResult> timed;
    for (size_t i = 0; i < results.size(); ++i)
      timed.push_back(TimedResult{&results[i], seconds[i]});
    std::string suite = "xslvalidate-verdict";
    if (options.sharded)
      suite += " shard " + std::to_string(options.shard.index) + "/" +
               std::to_string(options.shard.count);
    const std::filesystem::path parent = fsPath(options.junit).parent_path();
    if ((!parent.empty() && !makeFolders(fromFsPath(parent))) ||
        !writeFileAtomically(options.junit, junitReport(timed, suite, utcTimestamp())))
      fileFailures.push_back("the JUnit file " + visible(shown(options.junit)) +
                             " could not be written");
  }
  if (batch && outputFailure.empty()) {
    // With --json the summary is for the person reading the log, not part
    // of the JSON Lines.
    outputFailure = writeOutput(options.json ? stderr : stdout, tallyText(tally));
  }
  if (!outputFailure.empty())
    std::fprintf(stderr, "xslvalidate-verdict: standard output could not be written: %s\n",
                 outputFailure.c_str());
  for (const std::string& failure : fileFailures)
    std::fprintf(stderr, "xslvalidate-verdict: %s\n", failure.c_str());
  if (!outputFailure.empty() || !fileFailures.empty())
    return kOutputError;
  return tallyStatus(tally);
}
