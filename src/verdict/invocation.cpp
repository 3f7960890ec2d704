#include "verdict/invocation.h"

#include <cstdlib>
#include <optional>

#include "verdict/host_files.h"
#include "verdict/shown.h"

const char kVerdictUsage[] =
    "usage: xslvalidate-verdict [options] -s [NAME=]scenarios.xml [-r [NAME=]DIR] ... "
    "[document-or-folder...]\n"
    "       xslvalidate-verdict [options] --rules rules1 [--rules rules2 ...] "
    "document-or-folder...\n"
    "       xslvalidate-verdict [options] xml-file rules1 [rules2 ...]\n"
    "Options may come anywhere; -- ends them. A document named - is read from standard\n"
    "input, as is one piped or redirected in when no document is named.\n"
    "options:\n"
    "  -s, --scenarios [NAME=]FILE\n"
    "                            a scenario configuration (repeatable; the first scenario that\n"
    "                            matches, over the configurations in order, checks a document)\n"
    "  -r, --repository [NAME=]DIR\n"
    "                            where a configuration's locations start (repeatable: one for all,\n"
    "                            one per configuration in order, or by NAME)\n"
    "  --rules FILE              a rule set (repeatable); every operand is then a document or folder\n"
    "  -o, --output-directory DIR, --report-dir DIR\n"
    "                            where the reports go (default: the current folder; in the\n"
    "                            xml-file form, beside the document)\n"
    "  -h, --html                with scenarios: also the configuration's report as HTML,\n"
    "                            <name>-report.html beside it\n"
    "  --report-prefix TEXT, --report-postfix TEXT\n"
    "                            with scenarios: the configuration's report of each document is\n"
    "                            <TEXT><name>-report<TEXT>.xml (default <name>-report.xml)\n"
    "  --report-input, --serialize-report-input\n"
    "                            with scenarios: also keep that report's input, ...-report-input.xml\n"
    "  --svrl                    with scenarios: also keep each rule set's SVRL report\n"
    "  -p, --print               with scenarios: print the configuration's report of the one\n"
    "                            document instead of the verdict\n"
    "  --json                    JSON (JSON Lines for a batch) instead of text\n"
    "  --warnings-as-errors      warnings reject too\n"
    "  --jobs N                  documents checked at once, 1 to 64 (default: one per core)\n"
    "  --shard I/N               check only the I-th of N slices of the documents\n"
    "  --junit FILE              also write a JUnit file\n"
    "  --pages DIR               also write one HTML page per document under DIR\n"
    "  --stdin-name NAME         the name of the document read from standard input (stdin.xml)\n"
    "  -D, --daemon              serve the configurations over HTTP (Linux; see the README):\n"
    "                            -H, --host ADDRESS (127.0.0.1), -P, --port N (8080),\n"
    "                            -T, --threads N (one per core), --queue N (32),\n"
    "                            --max-body BYTES (67108864), --max-connections N (256),\n"
    "                            --read-timeout S (30), --idle-timeout S (10),\n"
    "                            --drain-timeout S (30), --check-timeout S (120),\n"
    "                            --token-file FILE, -G, --disable-gui\n"
    "                            (without --daemon these are ignored with a warning)\n"
    "  --version                 the version, alone\n"
    "  --help, -?                this text, alone\n";

namespace {

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

// Options of the reference validator that have no faithful counterpart
// here, each with what to use instead. Whether it takes a value matters
// only to read the line on; the call is refused either way.
struct Refused {
  std::u16string_view names[2];
  const char* instead;
};
const Refused kRefused[] = {
    {{u"-c", u"--check-assertions"},
     "its assertion format has no public description; check the reports in your own tests "
     "(--json gives every finding)"},
    {{u"-d", u"--debug"}, "set XSLVALIDATE_DEBUG=1 for the engine's details"},
    {{u"-X", u"--debug-logging"}, "set XSLVALIDATE_DEBUG=1 for the engine's details"},
    {{u"-l", u"--log-level"}, "set XSLVALIDATE_DEBUG=1 for the engine's details"},
    {{u"-m", u"--memory-stats"},
     "the engine's heap is set by XSLVALIDATE_MAX_HEAP; the service's /metrics gives its memory"},
    {{u"-e", u"--extract-reports"},
     "-h writes the configuration's report as HTML, --report-input keeps its input"},
};

const Refused* refusedOption(std::u16string_view name) {
  for (const Refused& refused : kRefused)
    if (name == refused.names[0] || name == refused.names[1])
      return &refused;
  return nullptr;
}

// What the arguments say before their combination is judged.
struct ReadLine {
  std::vector<std::u16string> operands;
  // The service's options, applied once the whole line is read: they count
  // only with --daemon, which may come after them.
  std::vector<std::pair<std::u16string, std::u16string>> serviceOptions;
  bool help = false, version = false, reportDirGiven = false;
  size_t given = 0;  // options given, help and version among them
};

// Reads every argument into `callOut` and `lineOut`: options wherever they are,
// operands in order. Returns the usage error, or empty text.
std::string readArguments(const std::vector<std::u16string>& arguments, Invocation* callOut,
                          ReadLine* lineOut) {
  Invocation& call = *callOut;
  ReadLine& read = *lineOut;
  bool optionsEnded = false;
  for (size_t i = 1; i < arguments.size(); ++i) {
    std::u16string argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != u'-') {
      read.operands.push_back(argument);
      continue;
    }
    if (argument == u"--") {
      optionsEnded = true;
      continue;
    }
    std::optional<std::u16string> attached;
    if (size_t equals = argument.find(u'='); equals != std::u16string::npos) {
      attached = argument.substr(equals + 1);
      argument.resize(equals);
    }
    std::string missing;
    auto value = [&](std::u16string* into) {
      if (attached) {
        *into = *attached;
        return true;
      }
      if (i + 1 >= arguments.size()) {
        missing = shown(argument) + " needs a value";
        return false;
      }
      *into = arguments[++i];
      return true;
    };
    auto flag = [&]() {
      if (attached)
        missing = shown(argument) + " takes no value";
      return !attached;
    };
    std::u16string text;
    ++read.given;
    if (argument == u"--json") {
      if (!flag())
        return missing;
      call.json = true;
    } else if (argument == u"--warnings-as-errors") {
      if (!flag())
        return missing;
      call.warningsAsErrors = true;
    } else if (argument == u"--help" || argument == u"-?") {
      read.help = true;
    } else if (argument == u"--version") {
      read.version = true;
    } else if (argument == u"--rules") {
      if (!value(&text))
        return missing;
      call.ruleSets.push_back(text);
    } else if (argument == u"--scenarios" || argument == u"-s" ||
               argument == u"--repository" || argument == u"-r") {
      if (!value(&text))
        return missing;
      NamedPath named = namedPath(text);
      const bool scenarios = argument == u"--scenarios" || argument == u"-s";
      // An empty repository is the current folder, as the reference
      // validator reads it (its published recipes write -r "").
      if (named.path.empty() && !scenarios)
        named.path = u".";
      if (named.path.empty())
        return shown(argument) + " needs a value";
      (scenarios ? call.scenarios : call.repositories).push_back(named);
    } else if (argument == u"--report-prefix" || argument == u"--report-postfix") {
      std::u16string* into =
          argument == u"--report-prefix" ? &call.reportPrefix : &call.reportPostfix;
      if (!value(into))
        return missing;
      if (into->find_first_of(u"/\\") != std::u16string::npos)
        return shown(argument) + " takes text without a folder, not " + shown(*into);
    } else if (argument == u"--report-input" || argument == u"--serialize-report-input") {
      if (!flag())
        return missing;
      call.reportInput = true;
    } else if (argument == u"--print" || argument == u"-p") {
      if (!flag())
        return missing;
      call.print = true;
    } else if (argument == u"--html" || argument == u"-h" || argument == u"--extract-html") {
      // The reference validator's meaning: no value.
      if (!flag())
        return missing + " (it writes the configuration's report as HTML beside the report; "
                         "--pages DIR writes a page per document)";
      call.html = true;
    } else if (argument == u"--svrl") {
      if (!flag())
        return missing;
      call.svrl = true;
    } else if (argument == u"--stdin-name") {
      if (!value(&call.stdinName))
        return missing;
      const std::u16string& name = call.stdinName;
      if (name.empty() || name == u"." || name == u".." ||
          name.find_first_of(u"/\\") != std::u16string::npos)
        return "--stdin-name takes a file name without a folder, not " + shown(name);
    } else if (argument == u"--report-dir" || argument == u"-o" ||
               argument == u"--output-directory") {
      if (!value(&call.reportDir))
        return missing;
      if (call.reportDir.empty())
        return shown(argument) + " needs a folder";
      read.reportDirGiven = true;
    } else if (argument == u"--junit" || argument == u"--pages") {
      std::u16string* into = argument == u"--junit" ? &call.junit : &call.pages;
      if (!value(into))
        return missing;
      if (into->empty())
        return shown(argument) + " needs a value";
    } else if (argument == u"--jobs") {
      if (!value(&text))
        return missing;
      const std::string digits = shown(text);
      char* end = nullptr;
      const unsigned long jobs = std::strtoul(digits.c_str(), &end, 10);
      if (digits.empty() || *end != '\0' || digits[0] == '-' || jobs == 0 || jobs > 64)
        return "--jobs takes a whole number from 1 to 64, not " + digits;
      call.jobs = jobs;
    } else if (argument == u"--shard") {
      if (!value(&text))
        return missing;
      const std::optional<Shard> shard = parseShard(shown(text));
      if (!shard)
        return "--shard takes I/N with 0 <= I < N, not " + shown(text);
      call.shard = *shard;
      call.sharded = true;
    } else if (const DaemonOption kind =
                   daemonOption(argument == u"-G" ? u"--disable-gui" : argument);
               kind != DaemonOption::kNone) {
      if (kind == DaemonOption::kValue ? !value(&text) : !flag())
        return missing;
      read.serviceOptions.emplace_back(argument == u"-G" ? u"--disable-gui" : argument, text);
    } else if (const Refused* refused = refusedOption(argument)) {
      return shown(argument) + " is an option of the reference validator not offered here: " +
             refused->instead;
    } else {
      return "unknown option " + shown(argument) + " (--help lists them)";
    }
  }
  return std::string();
}

// Judges what `read` says as a whole into `call`: help or version alone,
// the service's options, which form the line has, which documents and
// where the reports go. Returns the usage error, or empty text.
std::string settle(const ReadLine& read, StandardInput input, Invocation* callOut) {
  Invocation& call = *callOut;
  const std::vector<std::u16string>& operands = read.operands;
  const bool help = read.help, version = read.version;
  const size_t given = read.given;
  if (help || version) {
    // Alone only: a script that meant something else must not read help
    // and a success as having checked its documents.
    if (given > 1 || !operands.empty())
      return std::string(help ? "--help" : "--version") + " takes no other option and no operand";
    call.action = help ? Action::kHelp : Action::kVersion;
    return std::string();
  }
  for (const auto& [name, text] : read.serviceOptions) {
    if (name == u"--daemon" || name == u"-D")
      call.daemon.enabled = true;
  }
  for (const auto& [name, text] : read.serviceOptions) {
    if (!call.daemon.enabled) {
      call.warnings.push_back(shown(name) + " is an option of the service and is ignored "
                              "without --daemon");
      continue;
    }
    if (const std::string wrong = setDaemonOption(&call.daemon, name, text); !wrong.empty())
      return wrong;
  }

  const bool byConfiguration = !call.scenarios.empty();
  if (byConfiguration && !call.ruleSets.empty())
    return "--scenarios and --rules exclude each other";
  if (!byConfiguration && !call.repositories.empty())
    return "--repository needs --scenarios";
  if (call.daemon.enabled) {
    if (!byConfiguration || !operands.empty())
      return "--daemon checks the documents POSTed to it: it needs --scenarios and takes no "
             "document";
    call.action = Action::kServe;
  }
  const bool reportOptions = call.print || call.reportInput || call.html || call.svrl ||
                             !call.reportPrefix.empty() || !call.reportPostfix.empty();
  if (reportOptions && !byConfiguration)
    return call.html ? "-h (--html) writes the configuration's report as HTML and needs "
                       "--scenarios; --pages DIR writes a page per document"
                     : "--print, --report-input, --report-prefix, --report-postfix and --svrl "
                       "need --scenarios";
  if (!byConfiguration && call.ruleSets.empty()) {
    // The first form: the document, then its rule sets.
    if (operands.size() < 2)
      return "expected a document and at least one stylesheet";
    if (call.sharded)
      return "--shard needs documents given by --rules or --scenarios: the first form checks "
             "one document";
    call.byHand = true;
    call.documents.push_back(operands[0]);
    call.ruleSets.assign(operands.begin() + 1, operands.end());
  } else {
    call.documents = operands;
    if (call.documents.empty() && call.action == Action::kCheck) {
      // The reference validator reads standard input when no file is
      // named; never a terminal, where nothing was meant to be read.
      if (input != StandardInput::kData)
        return "expected at least one document or folder (or a document on standard input)";
      call.documents.push_back(u"-");
      call.stdinImplied = true;
    }
    if (!read.reportDirGiven)
      call.reportDir = u".";
  }
  size_t stdinOperands = 0;
  for (const std::u16string& document : call.documents)
    stdinOperands += document == u"-";
  if (stdinOperands > 1)
    return "standard input (-) can be read once";
  if (call.print && (call.json || call.documents.size() != 1))
    return "--print prints the report of one document, without --json";
  return std::string();
}

}  // namespace

ParsedInvocation parseInvocation(const std::vector<std::u16string>& arguments,
                                 StandardInput input) {
  ParsedInvocation parsed;
  if (arguments.size() <= 1 && input == StandardInput::kTerminal) {
    parsed.invocation.action = Action::kHelp;
    return parsed;
  }
  ReadLine read;
  parsed.error = readArguments(arguments, &parsed.invocation, &read);
  if (parsed.error.empty())
    parsed.error = settle(read, input, &parsed.invocation);
  return parsed;
}
