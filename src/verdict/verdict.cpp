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
#include "verdict/junit.h"
#include "verdict/printer.h"
#include "verdict/reason_code.h"
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
    "       xslvalidate-verdict [options] --scenarios [NAME=]scenarios.xml "
    "[--repository [NAME=]folder] ... document-or-folder...\n"
    "A document named - is read from standard input.\n"
    "options:\n"
    "  --rules FILE              a rule set (repeatable); every operand is then a document or folder\n"
    "  -s, --scenarios [NAME=]FILE\n"
    "                            a scenario configuration (repeatable; the first scenario that\n"
    "                            matches, over the configurations in order, checks a document)\n"
    "  -r, --repository [NAME=]DIR\n"
    "                            where a configuration's locations start (repeatable: one for all,\n"
    "                            one per configuration in order, or by NAME)\n"
    "  --json                    JSON (JSON Lines for a batch) instead of text\n"
    "  --warnings-as-errors      warnings reject too\n"
    "  --jobs N                  documents checked at once, 1 to 64 (default: one per core)\n"
    "  --shard I/N               check only the I-th of N slices of the documents\n"
    "  -o, --report-dir DIR      write the reports under DIR instead of beside the documents\n"
    "  --junit FILE              also write a JUnit file\n"
    "  --html DIR                also write one HTML page per document under DIR\n"
    "  --stdin-name NAME         the name of the document read from standard input (stdin.xml)\n"
    "  --report-prefix TEXT, --report-postfix TEXT\n"
    "                            with scenarios: the configuration's report of each document is\n"
    "                            <TEXT><name>-report<TEXT>.xml (default <name>-report.xml)\n"
    "  --report-input            with scenarios: also keep that report's input, ...-report-input.xml\n"
    "  -p, --print               with scenarios: print the configuration's report of the one\n"
    "                            document instead of the verdict\n"
    "  -D, --daemon              serve the configurations over HTTP (Linux; see the README):\n"
    "                            -H, --host ADDRESS (127.0.0.1), -P, --port N (8080),\n"
    "                            -T, --threads N (one per core), --queue N (32),\n"
    "                            --max-body BYTES (67108864), --max-connections N (256),\n"
    "                            --read-timeout S (30), --idle-timeout S (10),\n"
    "                            --drain-timeout S (30), --check-timeout S (120),\n"
    "                            --token-file FILE, --disable-gui\n"
    "  --version                 the version, alone\n"
    "  -h, --help                this text, alone\n";

// A configuration or repository as given: "NAME=path" or a plain path.
struct NamedPath {
  std::u16string name;  // empty when not named
  std::u16string path;
};

struct Options {
  bool json = false;
  bool warningsAsErrors = false;
  bool help = false;
  bool version = false;
  size_t given = 0;  // options given, help and version among them
  size_t jobs = 0;  // 0: one per core
  Shard shard;
  bool sharded = false;
  std::u16string reportDir;
  std::u16string junit;
  std::u16string html;
  std::vector<std::u16string> ruleSets;  // by --rules; the operands are then documents
  std::vector<NamedPath> scenarios;     // configurations; the operands are then documents
  std::vector<NamedPath> repositories;  // where the configurations' locations start
  std::u16string stdinName = u"stdin.xml";
  std::u16string reportPrefix, reportPostfix;
  bool reportInput = false;
  bool print = false;
  DaemonSettings daemon;  // --daemon and the service's options
  std::vector<std::u16string> operands;
};

bool usageError(const std::string& message) {
  std::fprintf(stderr, "xslvalidate-verdict: %s\n%s", message.c_str(), kUsage);
  return false;
}

// "NAME=path" as a named path, unless the whole text names something that
// exists (a file may have "=" in its name) or the part before "=" holds a
// path separator; anything else is a plain path.
NamedPath namedPath(const std::u16string& text) {
  const size_t equals = text.find(u'=');
  if (equals == std::u16string::npos || equals == 0 || fileIdentity(text).exists)
    return NamedPath{u"", text};
  const std::u16string name = text.substr(0, equals);
  if (name.find_first_of(u"/\\") != std::u16string::npos)
    return NamedPath{u"", text};
  return NamedPath{name, text.substr(equals + 1)};
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
    ++options->given;
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
    } else if (argument == u"--scenarios" || argument == u"-s" ||
               argument == u"--repository" || argument == u"-r") {
      if (!value(&text))
        return false;
      const NamedPath named = namedPath(text);
      if (named.path.empty())
        return usageError(shown(argument) + " needs a value");
      const bool scenarios = argument == u"--scenarios" || argument == u"-s";
      (scenarios ? options->scenarios : options->repositories).push_back(named);
    } else if (argument == u"--report-prefix" || argument == u"--report-postfix") {
      std::u16string* into =
          argument == u"--report-prefix" ? &options->reportPrefix : &options->reportPostfix;
      if (!value(into))
        return false;
      if (into->find_first_of(u"/\\") != std::u16string::npos)
        return usageError(shown(argument) + " takes text without a folder, not " + shown(*into));
    } else if (argument == u"--report-input") {
      options->reportInput = true;
    } else if (argument == u"--print" || argument == u"-p") {
      options->print = true;
    } else if (argument == u"--stdin-name") {
      if (!value(&options->stdinName))
        return false;
      const std::u16string& name = options->stdinName;
      if (name.empty() || name == u"." || name == u".." ||
          name.find_first_of(u"/\\") != std::u16string::npos)
        return usageError("--stdin-name takes a file name without a folder, not " +
                          shown(name));
    } else if (argument == u"--report-dir" || argument == u"-o") {
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
    } else if (const DaemonOption kind = daemonOption(argument); kind != DaemonOption::kNone) {
      if (kind == DaemonOption::kValue && !value(&text))
        return false;
      if (const std::string wrong = setDaemonOption(&options->daemon, argument, text);
          !wrong.empty())
        return usageError(wrong);
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
  std::string load(const Options& options, std::vector<ScenarioSet>* sets) {
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
  static std::string pairRepositories(const Options& options,
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

}  // namespace

int runVerdict(const std::vector<std::u16string>& arguments) {
  // What calls ended by SIGKILL left behind, before this one adds its own.
  sweepStaleScratch();
  Options options;
  if (!parseOptions(arguments, &options))
    return kUsageError;
  if (options.help || options.version) {
    // Alone only: a script that meant something else must not read help
    // and a success as having checked its documents.
    if (options.given > 1 || !options.operands.empty()) {
      usageError(std::string(options.help ? "--help" : "--version") +
                 " takes no other option and no operand");
      return kUsageError;
    }
    std::fputs("xslvalidate-verdict " XSLVALIDATE_VERSION "\n", stdout);
    if (options.help)
      std::fputs(kUsage, stdout);
    return 0;
  }

  // Either the document first and then its rule sets, or rule sets by
  // --rules or scenario configurations and every operand a document or a
  // folder of them.
  CheckPlan plan;
  plan.warningsAsErrors = options.warningsAsErrors;
  plan.pageFacts = !options.html.empty();
  std::vector<std::u16string> documentOperands;
  if (!options.scenarios.empty() && !options.ruleSets.empty()) {
    usageError("--scenarios and --rules exclude each other");
    return kUsageError;
  }
  if (options.scenarios.empty() && !options.repositories.empty()) {
    usageError("--repository needs --scenarios");
    return kUsageError;
  }
  if (options.daemon.enabled && (options.scenarios.empty() || !options.operands.empty())) {
    usageError("--daemon checks the documents POSTed to it: it needs --scenarios and takes no "
               "document");
    return kUsageError;
  }
  if (options.ruleSets.empty() && options.scenarios.empty()) {
    if (options.operands.size() < 2) {
      usageError("expected a document and at least one stylesheet");
      return kUsageError;
    }
    if (options.sharded) {
      usageError("--shard needs documents given by --rules or --scenarios: the first "
                 "form checks one document");
      return kUsageError;
    }
    documentOperands.push_back(options.operands[0]);
    plan.ruleSets.assign(options.operands.begin() + 1, options.operands.end());
  } else {
    if (options.operands.empty() && !options.daemon.enabled) {
      usageError("expected at least one document or folder");
      return kUsageError;
    }
    documentOperands = options.operands;
    plan.ruleSets = options.ruleSets;
  }
  const bool reportOptions = options.print || options.reportInput ||
                             !options.reportPrefix.empty() || !options.reportPostfix.empty();
  if (reportOptions && options.scenarios.empty()) {
    usageError("--print, --report-input, --report-prefix and --report-postfix need --scenarios");
    return kUsageError;
  }
  if (options.print && (options.json || documentOperands.size() != 1)) {
    usageError("--print prints the report of one document, without --json");
    return kUsageError;
  }
  plan.reportPrefix = options.reportPrefix;
  plan.reportPostfix = options.reportPostfix;
  plan.keepReportInput = options.reportInput;
  plan.htmlDir = options.html;
  size_t stdinOperands = 0;
  for (const std::u16string& operand : documentOperands)
    stdinOperands += operand == u"-";
  if (stdinOperands > 1) {
    usageError("standard input (-) can be read once");
    return kUsageError;
  }

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
  if (options.daemon.enabled)
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
  // collected; without --report-dir its reports go to the current folder.
  StdinDocument stdinDocument;
  std::u16string stdinPath;
  if (stdinOperands > 0) {
    const std::string failed = stdinDocument.read(options.stdinName, &stdinPath);
    if (!failed.empty()) {
      std::fprintf(stderr, "xslvalidate-verdict: the document on standard input could not "
                           "be kept: %s\n", failed.c_str());
      return kNoVerdict;
    }
  }

  std::vector<std::u16string> skip;
  for (const std::u16string* folder : {&options.reportDir, &options.html})
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
  for (const std::u16string* folder : {&options.reportDir, &options.html}) {
    const std::string clash = reportClash(documents, *folder);
    if (!clash.empty()) {
      std::fprintf(stderr, "xslvalidate-verdict: %s would have the same report names in %s\n",
                   clash.c_str(), shown(*folder).c_str());
      return kUsageError;
    }
  }
  // No output of the call may be one of its documents, whatever names it.
  std::vector<const std::vector<std::u16string>*> ruleSetLists = {&plan.ruleSets};
  for (const ScenarioSet& set : configurations)
    for (const Scenario& scenario : set.scenarios)
      ruleSetLists.push_back(&scenario.ruleSets);
  std::vector<PlannedOutput> outputs;
  if (!options.junit.empty())
    outputs.push_back(PlannedOutput{options.junit, "the JUnit file " + shown(options.junit)});
  for (const InputDocument& document : inputs.documents) {
    const std::u16string folder = reportFolderOf(document, options.reportDir);
    for (const std::vector<std::u16string>* list : ruleSetLists)
      for (const std::u16string& stylesheet : *list) {
        const std::u16string report = reportPathFor(document.path, stylesheet, folder);
        outputs.push_back(PlannedOutput{
            report, "the report " + shown(report) + " of " + shown(document.path)});
      }
    if (!options.html.empty()) {
      const std::u16string page =
          inFolder(reportFolderOf(document, options.html), htmlPageName(document.path));
      outputs.push_back(PlannedOutput{page, "the page " + shown(page)});
    }
  }
  const std::string overwrite = overwriteClash(inputs.documents, outputs);
  if (!overwrite.empty()) {
    std::fprintf(stderr, "xslvalidate-verdict: %s; nothing was checked\n",
                 visible(overwrite).c_str());
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
