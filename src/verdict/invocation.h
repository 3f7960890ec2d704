// The command line of xslvalidate-verdict read into one checked record
// before anything runs: what is asked, what checks the documents, which
// documents, and where every output goes. The reference validator's
// options mean here what they mean there.
#ifndef XSLVALIDATE_VERDICT_INVOCATION_H_
#define XSLVALIDATE_VERDICT_INVOCATION_H_

#include <string>
#include <vector>

#include "verdict/daemon.h"
#include "verdict/host_files.h"
#include "verdict/inputs.h"

// A configuration or repository as given: "NAME=path" or a plain path.
struct NamedPath {
  std::u16string name;  // empty when not named
  std::u16string path;
};

enum class Action {
  kCheck,    // check the documents
  kHelp,     // print the usage, status 0
  kVersion,  // print the version, status 0
  kServe,    // --daemon: the validation service
};

struct Invocation {
  Action action = Action::kCheck;
  // The first form: the document first, then the rule sets that check it;
  // its reports go beside it as xslvalidate writes them (or under -o).
  bool byHand = false;
  std::vector<std::u16string> ruleSets;   // by hand or by --rules
  std::vector<NamedPath> scenarios;       // --scenarios: configurations, in order
  std::vector<NamedPath> repositories;    // --repository
  // The documents and folders to check, in order; "-" is standard input
  // (named, or implied when no document is named and standard input holds
  // data).
  std::vector<std::u16string> documents;
  bool stdinImplied = false;  // "-" was not named: empty input is a usage error
  std::u16string stdinName = u"stdin.xml";
  bool json = false;
  bool warningsAsErrors = false;
  size_t jobs = 0;  // 0: one per core
  Shard shard;
  bool sharded = false;
  // Where the reports go: "." when -o is not given (the current folder, as
  // the reference validator's default), empty in the first form without
  // -o (beside the document).
  std::u16string reportDir;
  std::u16string junit;  // --junit FILE; empty: none
  std::u16string pages;  // --pages DIR: one page per document; empty: none
  bool html = false;     // -h: the configuration's report as HTML beside it
  bool svrl = false;     // --svrl: keep each rule set's SVRL report in scenario mode
  std::u16string reportPrefix, reportPostfix;
  bool reportInput = false;  // --report-input, --serialize-report-input
  bool print = false;        // -p
  DaemonSettings daemon;
  // What the call says on standard error before it starts: options that
  // are ignored here, each once.
  std::vector<std::string> warnings;
};

struct ParsedInvocation {
  Invocation invocation;
  std::string error;  // the usage error, one line; empty when the line is good
};

// Reads the command line (`arguments[0]` is the program's name). Options
// may come anywhere; "--" ends them, every later argument being an
// operand. An option's value is the next argument or follows "=".
// `input` says what standard input is. Refuses, with the reason in
// `error`: an unknown option, a bad value, an option of the reference
// validator that has no faithful counterpart here (naming what to use
// instead), options that exclude each other, and a call with nothing to
// check. Touches no file but to tell "NAME=path" from a file whose name
// holds "=".
ParsedInvocation parseInvocation(const std::vector<std::u16string>& arguments,
                                 StandardInput input);

// The usage text that --help prints, every option with its short form.
extern const char kVerdictUsage[];

#endif  // XSLVALIDATE_VERDICT_INVOCATION_H_
