#include "verdict/verdict.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>

#include "host/utf8.h"
#include "path/path_text.h"
#include "verdict/batch.h"
#include "verdict/check.h"
#include "verdict/configuration_snapshot.h"
#include "verdict/daemon.h"
#include "verdict/host_files.h"
#include "verdict/html_page.h"
#include "verdict/inputs.h"
#include "verdict/invocation.h"
#include "verdict/junit.h"
#include "verdict/output_plan.h"
#include "verdict/printer.h"
#include "verdict/reason_code.h"
#include "verdict/scenarios.h"
#include "verdict/scratch_guard.h"
#include "verdict/shown.h"
#include "verdict/summary_line.h"
#include "verdict/tally.h"
#include "version.h"

namespace {

bool usageError(const std::string& message) {
  std::fprintf(stderr, "xslvalidate-verdict: %s\n%s", message.c_str(), kVerdictUsage);
  return false;
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

// The folder that holds the configurations' match stylesheets while the
// call lasts; removed with it, and on an interrupting signal.
struct ConfigurationFolder {
  std::u16string folder;
  int held = -1;
  bool engineFailed = false;  // no verdict is possible: not a configuration's fault
  // Reads every configuration of `options` into `sets`, in order, with an
  // engine environment of its own. Returns the refused configuration and
  // the reason, or empty text.
  std::string load(const Invocation& options, std::vector<ScenarioSet>* sets) {
    std::vector<std::u16string> repositories;
    std::string refused = pairRepositories(options, &repositories);
    if (!refused.empty())
      return refused;
    // The engine first, whose own signal clean-up the folder's passes the
    // signal on to; the folder only once a signal would remove it.
    // The service's loads, at start and on every reload, are made on an
    // engine server only, as its workers' checks are.
    EngineEnvironment environment{};
    if (options.daemon.enabled ? !attachToEngineServer(&environment)
                               : createIsolate(&environment) != 0) {
      engineFailed = true;
      // The service checks on an engine server only; say what keeps one
      // off, as a user may have set it for one-shot calls.
      return options.daemon.enabled
                 ? "no engine server could be had (the service checks on one only: "
                   "XSLVALIDATE_SERVER=off, XSLVALIDATE_MAX_HEAP or a process limit keep "
                   "it off; XSLVALIDATE_DEBUG=1 says why)"
                 : "the engine could not be started";
    }
    installScratchCleanup();
    folder = makeScratchFolder();
    if (folder.empty()) {
      graal_detach_thread(environment.thread);
      return "no temporary folder could be made";
    }
    held = holdScratchFolder(folder);
    sets->resize(options.scenarios.size());
    for (size_t i = 0; i < options.scenarios.size() && refused.empty(); ++i) {
      // Each configuration's match stylesheet apart from the others'.
      const std::u16string own = inFolder(folder, u"c" + fromUtf8(std::to_string(i)));
      if (!makeFolders(own)) {
        refused = "no temporary folder could be made";
        break;
      }
      // The service reads a private copy, so that an edit on disk takes
      // effect only through a reload.
      std::u16string file = options.scenarios[i].path, repository = repositories[i];
      const std::u16string snapshot = inFolder(own, u"snapshot");
      if (options.daemon.enabled)
        refused = snapshotConfiguration(file, repository, snapshot, &file, &repository);
      if (refused.empty())
        refused = loadScenarios(&environment, file, repository, own, &(*sets)[i]);
      if (options.daemon.enabled)
        refused = asOriginalPaths(refused, options.scenarios[i].path, repositories[i], snapshot);
      if (!refused.empty())
        refused = "scenarios configuration " + visible(shown(options.scenarios[i].path)) +
                  " refused: " + refused;
    }
    graal_detach_thread(environment.thread);
    return refused;
  }
  ~ConfigurationFolder() {
    releaseScratchFolder(held);
    if (!folder.empty())
      removeScratchFolder(folder);
  }

  // Each configuration's repository, as the reference validator's command
  // line pairs them: by name; else none (each file's own folder), one for
  // all, or one per configuration in order.
  static std::string pairRepositories(const Invocation& options,
                                      std::vector<std::u16string>* repositories) {
    std::vector<NamedPath> unnamed;
    for (const NamedPath& repository : options.repositories) {
      if (repository.name.empty()) {
        unnamed.push_back(repository);
        continue;
      }
      bool used = false;
      for (const NamedPath& scenarios : options.scenarios)
        used = used || scenarios.name == repository.name;
      if (!used)
        return "the repository " + shown(repository.name) + "=" + shown(repository.path) +
               " names no configuration given by --scenarios";
    }
    size_t unnamedScenarios = 0;
    for (const NamedPath& scenarios : options.scenarios)
      unnamedScenarios += scenarios.name.empty() || [&] {
        for (const NamedPath& repository : options.repositories)
          if (repository.name == scenarios.name)
            return false;
        return true;
      }();
    if (unnamed.size() > 1 && unnamed.size() != unnamedScenarios)
      return std::to_string(unnamed.size()) + " repositories for " +
             std::to_string(unnamedScenarios) +
             " configurations: give one for all, one per configuration in order, or "
             "pair them by name";
    size_t next = 0;
    for (const NamedPath& scenarios : options.scenarios) {
      std::u16string chosen;
      bool named = false;
      for (const NamedPath& repository : options.repositories)
        if (!scenarios.name.empty() && repository.name == scenarios.name) {
          if (named)
            return "two repositories named " + shown(scenarios.name);
          chosen = repository.path;
          named = true;
        }
      if (!named && unnamed.size() == 1)
        chosen = unnamed[0].path;
      else if (!named && !unnamed.empty())
        chosen = unnamed[next++].path;
      repositories->push_back(chosen);
    }
    return std::string();
  }
};

// The document read from standard input, in a private folder of its own
// that goes with the call (and on an interrupting signal).
struct StdinDocument {
  std::u16string folder;
  int held = -1;
  // Streams standard input into `name` in the folder. Returns the reason
  // it could not, or empty text with `path` set.
  std::string read(const std::u16string& name, std::u16string* path) {
    folder = makeScratchFolder();
    if (folder.empty())
      return "no temporary folder could be made";
    held = holdScratchFolder(folder);
    *path = inFolder(folder, name);
    std::FILE* out = openFile(*path, "wb");
    if (!out)
      return "the temporary file could not be made";
    std::string reason = copyStream(stdin, out);
    if (std::fclose(out) != 0 && reason.empty())
      reason = std::strerror(errno);
    return reason;
  }
  ~StdinDocument() {
    releaseScratchFolder(held);
    if (!folder.empty())
      removeScratchFolder(folder);
  }
  // Copies `in` to `out` in blocks, so any size fits. Returns the system's
  // reason for a failure, or empty text.
  static std::string copyStream(std::FILE* in, std::FILE* out) {
    std::vector<char> block(1 << 16);
    for (;;) {
      const size_t got = std::fread(block.data(), 1, block.size(), in);
      if (got > 0 && std::fwrite(block.data(), 1, got, out) != got)
        return std::string("it could not be written: ") + std::strerror(errno);
      if (got < block.size()) {
        if (std::ferror(in))
          return std::string("standard input could not be read: ") + std::strerror(errno);
        return std::string();
      }
    }
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

// What every document of the call is checked against, as the command
// line asks.
CheckPlan planOf(const Invocation& call) {
  CheckPlan plan;
  plan.ruleSets = call.ruleSets;
  plan.warningsAsErrors = call.warningsAsErrors;
  plan.pageFacts = !call.pages.empty();
  plan.reportPrefix = call.reportPrefix;
  plan.reportPostfix = call.reportPostfix;
  plan.keepReportInput = call.reportInput;
  // The configuration's report as HTML, beside the report.
  if (call.html && call.action == Action::kCheck)
    plan.htmlDir = call.reportDir;
  // Rule sets by hand exist for their reports; in scenario mode the
  // configuration's report is the product and the SVRL files are kept
  // only when asked.
  plan.keepRuleSetReports = call.scenarios.empty() || call.svrl;
  return plan;
}

}  // namespace

int runVerdict(const std::vector<std::u16string>& arguments) {
  // What calls ended by SIGKILL left behind, before this one adds its own.
  sweepStaleScratch();
  const ParsedInvocation parsed = parseInvocation(arguments, standardInput());
  if (!parsed.error.empty()) {
    usageError(parsed.error);
    return kUsageError;
  }
  const Invocation& options = parsed.invocation;
  for (const std::string& warning : options.warnings)
    std::fprintf(stderr, "xslvalidate-verdict: warning: %s\n", warning.c_str());
  if (options.action == Action::kHelp || options.action == Action::kVersion) {
    std::fputs("xslvalidate-verdict " XSLVALIDATE_VERSION "\n", stdout);
    if (options.action == Action::kHelp)
      std::fputs(kVerdictUsage, stdout);
    return 0;
  }
  CheckPlan plan = planOf(options);

  // The configurations are read once, before any document; their match
  // stylesheets live in a folder of their own for the whole call.
  std::vector<ScenarioSet> configurations;
  ConfigurationFolder configurationFolder;
  if (!options.scenarios.empty()) {
    const std::string refused = configurationFolder.load(options, &configurations);
    if (configurationFolder.engineFailed) {
      std::fprintf(stderr, "xslvalidate-verdict: no verdict: %s [%s]\n", refused.c_str(),
                   reason_code::kEngineFailed);
      return kNoVerdict;
    }
    if (!refused.empty()) {
      std::fprintf(stderr, "xslvalidate-verdict: configuration-invalid: %s\n",
                   visible(refused).c_str());
      return kUsageError;
    }
    for (const ScenarioSet& set : configurations)
      plan.configurations.push_back(&set);
  }
  std::vector<std::u16string> sources;
  for (const NamedPath& scenarios : options.scenarios)
    sources.push_back(scenarios.path);
  if (options.action == Action::kServe)
    return runDaemon(LoadedPlan{plan, nullptr, {shown(configurationFolder.folder)}, sources},
                     options.daemon, [&options, &plan, sources](LoadedPlan* loaded) {
      // A generation of its own: the sets and their folder live as long
      // as a document is checked under them.
      auto held = std::make_shared<std::pair<ConfigurationFolder, std::vector<ScenarioSet>>>();
      const std::string refused = held->first.load(options, &held->second);
      if (!refused.empty())
        return refused;
      loaded->plan = plan;
      loaded->plan.configurations.clear();
      for (const ScenarioSet& set : held->second)
        loaded->plan.configurations.push_back(&set);
      loaded->owner = held;
      loaded->folders = {shown(held->first.folder)};
      loaded->sources = sources;
      return std::string();
    });

  // Standard input becomes a file of its own before the documents are
  // collected; its reports go to the report folder as any document's.
  StdinDocument stdinDocument;
  std::u16string stdinPath;
  const std::vector<std::u16string>& documentOperands = options.documents;
  bool readsStdin = false;
  for (const std::u16string& operand : documentOperands)
    readsStdin = readsStdin || operand == u"-";
  if (readsStdin) {
    const std::string failed = stdinDocument.read(options.stdinName, &stdinPath);
    if (!failed.empty()) {
      std::fprintf(stderr, "xslvalidate-verdict: the document on standard input could not "
                           "be kept: %s\n", failed.c_str());
      return kNoVerdict;
    }
    // Nothing at all on standard input, where no document was named: the
    // call was not given one.
    if (options.stdinImplied && fileIdentity(stdinPath).size == 0) {
      usageError("no document named and standard input is empty");
      return kUsageError;
    }
  }

  std::vector<std::u16string> skip;
  for (const std::u16string* folder : {&options.reportDir, &options.pages})
    if (!folder->empty())
      skip.push_back(*folder);
  std::vector<std::u16string> collected;
  for (const std::u16string& operand : documentOperands)
    collected.push_back(operand == u"-" ? stdinPath : operand);
  InputSet inputs = collectInputs(collected, skip);
  if (!inputs.error.empty()) {
    std::fprintf(stderr, "xslvalidate-verdict: %s\n", inputs.error.c_str());
    return kUsageError;
  }
  for (InputDocument& document : inputs.documents)
    if (!stdinPath.empty() && document.path == stdinPath) {
      document.shownAs = shown(options.stdinName);
      document.reportHome = u".";
    }
  if (inputs.documents.empty()) {
    std::fprintf(stderr, "xslvalidate-verdict: no document to check: the folders given hold "
                         "no *.xml document\n");
    return kNoVerdict;
  }
  // A batch: more than one document operand, or a folder. Its --json form
  // is JSON Lines, and a summary follows the last document.
  bool batch = documentOperands.size() > 1;
  for (const std::u16string& operand : documentOperands) {
    std::error_code ignored;
    batch = batch || std::filesystem::is_directory(fsPath(operand), ignored);
  }
  if (options.print && batch) {
    usageError("--print prints the report of one document, not of a folder");
    return kUsageError;
  }
  std::vector<InputDocument> documents =
      options.sharded ? shardOf(inputs.documents, options.shard) : inputs.documents;
  for (const std::u16string* folder : {&options.reportDir, &options.pages}) {
    const std::string clash = reportClash(documents, *folder);
    if (!clash.empty()) {
      std::fprintf(stderr, "xslvalidate-verdict: %s would have the same report names in %s\n",
                   clash.c_str(), shown(*folder).c_str());
      return kUsageError;
    }
  }
  // Every file the call writes is planned here and checked at once: none
  // may be a file the call reads, and no two may be one file. The whole
  // input set counts, not only this shard's, as other shards read it.
  const OutputPlaces places{options.reportDir, options.pages, options.junit};
  std::vector<CallInput> read = callInputs(plan, inputs.documents);
  // The document on standard input was copied, but the file it was
  // redirected from is the user's too.
  if (readsStdin)
    read.push_back(CallInput{u"", "the file on standard input", standardInputFile()});
  const std::string clash = outputClash(read, planOutputs(plan, documents, places));
  if (!clash.empty()) {
    std::fprintf(stderr, "xslvalidate-verdict: %s; nothing was checked\n",
                 visible(clash).c_str());
    return kUsageError;
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
               if (options.print) {
                 // The configuration's report on standard output, the
                 // verdict's own text beside it on standard error.
                 std::string report;
                 if (result.validationReport &&
                     !readWholeFile(result.validationReportFile, &report))
                   fileFailures.push_back("the validation report " +
                                          visible(*result.validationReport) +
                                          " could not be read back");
                 std::fputs(textOutput(result).c_str(), stderr);
                 if (outputFailure.empty())
                   outputFailure = writeOutput(stdout, report);
               } else if (outputFailure.empty()) {
                 outputFailure = writeOutput(
                     stdout, !options.json ? textOutput(result)
                             : batch       ? jsonLine(result)
                                           : jsonOutput(result));
               }
               if (!options.pages.empty()) {
                 const std::u16string page = pagePath(documents[position], options.pages);
                 const std::u16string folder = fromFsPath(fsPath(page).parent_path());
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
