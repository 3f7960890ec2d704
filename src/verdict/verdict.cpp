#include "verdict/verdict.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "engine/bridge.h"
#include "host/file_exists.h"
#include "host/utf8.h"
#include "path/report_path.h"
#include "verdict/host_files.h"
#include "verdict/printer.h"
#include "verdict/summary_stylesheet.h"
#include "version.h"

namespace {

// `text` as UTF-8 for output: a lone surrogate, which has no UTF-8 form on
// Windows, is shown as U+FFFD. Only for what is printed, never for a name
// handed to the file system or the engine.
std::string shown(std::u16string_view text) {
  std::u16string whole(text);
  for (size_t i = 0; i < whole.size(); ++i) {
    const char16_t c = whole[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    const bool low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && i + 1 < whole.size() && whole[i + 1] >= 0xDC00 &&
        whole[i + 1] <= 0xDFFF) {
      ++i;
    } else if (high || low) {
      if (std::optional<std::string> bytes = toUtf8(text))
        return *bytes;  // POSIX hosts keep such text as raw bytes
      whole[i] = 0xFFFD;
    }
  }
  return toUtf8(whole).value_or(std::string());
}

const char kUsage[] =
    "usage: xslvalidate-verdict [--json] [--warnings-as-errors] xml-file "
    "rules1 [rules2 ...]\n";

struct Options {
  bool json = false;
  bool warningsAsErrors = false;
  bool help = false;
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
    } else {
      std::fprintf(stderr, "xslvalidate-verdict: unknown option %s\n%s",
                   shown(argument).c_str(), kUsage);
      return false;
    }
  }
  options->firstOperand = i;
  return true;
}

// Reads one line of `file` into `line`, without its line end. False at
// the end of the file.
bool readLine(std::FILE* file, std::string* line) {
  line->clear();
  int c;
  while ((c = std::getc(file)) != EOF) {
    if (c == '\n')
      break;
    *line += static_cast<char>(c);
  }
  if (c == EOF && line->empty())
    return false;
  if (!line->empty() && line->back() == '\r')
    line->pop_back();
  return true;
}

// The state of the whole command, shared by the steps below.
struct Session {
  EngineEnvironment* environment;
  Printer printer;
  bool warningsAsErrors = false;
  std::u16string summaryStylesheetPath;
  std::u16string summaryPath;
  long long rejecting = 0;
  std::string firstProblem;  // why there is no verdict; empty while there is one
};

void noteProblem(Session* session, std::string_view stylesheet,
                 std::string_view problem) {
  if (session->firstProblem.empty())
    session->firstProblem = std::string(stylesheet) + ": " + std::string(problem);
}

// Turns the report into its summary with the engine, then prints its
// findings line by line. Returns the problem that kept the report from
// being read as SVRL, or empty text.
std::string readReport(Session* session, std::u16string_view report,
                       Counts* counts) {
  removeFile(session->summaryPath);
  if (runTransformTo(session->environment, report,
                     session->summaryStylesheetPath, session->summaryPath) != 0)
    return "the report could not be read as XML";
  std::FILE* summary = openFile(session->summaryPath, "rb");
  if (!summary)
    return "the report's summary could not be opened";

  std::string problem;
  std::string line;
  SummaryHead head;
  if (!readLine(summary, &line) || !parseSummaryHead(line, &head)) {
    problem = "the report's summary is malformed";
  } else {
    beginFindings(&session->printer, head);
    if (!head.svrl)
      problem = "the report is not SVRL (its root element is " +
                head.rootName + ")";
    Finding finding;
    while (problem.empty() && readLine(summary, &line)) {
      if (!parseFindingLine(line, &finding)) {
        problem = "the report's summary is malformed";
        break;
      }
      std::string severity = severityOf(finding);
      counts->add(severity);
      if (rejects(severity, session->warningsAsErrors))
        ++session->rejecting;
      printFinding(&session->printer, finding, severity);
    }
  }
  std::fclose(summary);
  return problem;
}

// Runs one rule set and reads its report. Returns the run's status.
int checkRuleSet(Session* session, std::u16string_view document,
                 std::u16string_view stylesheet) {
  std::u16string report = deriveReportPath(document, stylesheet);
  std::string stylesheetText = shown(stylesheet);
  FileIdentity before = fileIdentity(report);
  int status = runTransform(session->environment, document, stylesheet);
  beginRuleSet(&session->printer, stylesheetText, shown(report),
               status == 0 ? RunState::kCompleted : RunState::kFailed, status);
  Counts counts;
  std::string problem;
  if (status != 0)
    problem = "the run failed with status " + std::to_string(status);
  else if (!writtenSince(before, fileIdentity(report)))
    problem = "the run wrote no report (the file at its path is not new)";
  else
    problem = readReport(session, report, &counts);
  if (!problem.empty())
    noteProblem(session, stylesheetText, problem);
  endRuleSet(&session->printer, counts, problem);
  return status;
}

// Runs every rule set, stopping after the first run that fails, with the
// summary stylesheet written to `scratch`.
void checkAll(Session* session, const std::vector<std::u16string>& arguments,
              size_t document, const std::u16string& scratch) {
  session->summaryStylesheetPath = inFolder(scratch, u"summary.xsl");
  session->summaryPath = inFolder(scratch, u"summary.txt");
  std::FILE* file = openFile(session->summaryStylesheetPath, "wb");
  std::string_view stylesheet = summaryStylesheet();
  bool written =
      file && std::fwrite(stylesheet.data(), 1, stylesheet.size(), file) ==
                  stylesheet.size();
  if (file && std::fclose(file) != 0)
    written = false;
  if (!written) {
    session->firstProblem = "the summary stylesheet could not be written";
    return;
  }

  static EngineEnvironment environment;
  if (createIsolate(&environment) != 0) {
    session->firstProblem = "the engine could not be started";
    return;
  }
  session->environment = &environment;
  size_t i = document + 1;
  for (; i < arguments.size(); ++i) {
    if (checkRuleSet(session, arguments[document], arguments[i]) != 0)
      break;
  }
  for (++i; i < arguments.size(); ++i) {
    beginRuleSet(&session->printer, shown(arguments[i]),
                 shown(deriveReportPath(arguments[document], arguments[i])),
                 RunState::kNotRun, 0);
    endRuleSet(&session->printer, Counts(), "not run, an earlier run failed");
  }
  std::fflush(stdout);
  if (graal_detach_thread(environment.thread) != 0)
    noteProblem(session, "engine", "the engine could not be detached");
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
  if (arguments.size() < options.firstOperand + 2) {
    std::fprintf(stderr, "xslvalidate-verdict: expected a document and at "
                         "least one stylesheet\n%s", kUsage);
    return kUsageError;
  }
  const std::u16string& document = arguments[options.firstOperand];
  if (!fileExists(document)) {
    std::fprintf(stderr, "xslvalidate-verdict: document does not exist: %s\n",
                 shown(document).c_str());
    return kUsageError;
  }

  Session session;
  session.printer.json = options.json;
  session.warningsAsErrors = options.warningsAsErrors;
  std::string documentText = shown(document);
  beginDocument(&session.printer, documentText, options.warningsAsErrors);
  std::u16string scratch = makeScratchFolder();
  if (scratch.empty()) {
    session.firstProblem = "no temporary folder could be made";
  } else {
    checkAll(&session, arguments, options.firstOperand, scratch);
    removeScratchFolder(scratch);
  }

  Verdict verdict = !session.firstProblem.empty() ? Verdict::kNone
                    : session.rejecting > 0       ? Verdict::kRejected
                                                  : Verdict::kAccepted;
  endDocument(&session.printer, documentText, verdict, session.rejecting,
              session.firstProblem);
  if (verdict == Verdict::kNone)
    return kNoVerdict;
  return verdict == Verdict::kRejected ? kRejected : kAccepted;
}
