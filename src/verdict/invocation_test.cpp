#include "verdict/invocation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "verdict/shown.h"

namespace {

// Splits a command line at spaces, the program's name first.
std::vector<std::u16string> line(const std::string& text) {
  std::vector<std::u16string> arguments = {u"xslvalidate-verdict"};
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos)
      end = text.size();
    if (end > start)
      arguments.push_back(fromUtf8(text.substr(start, end - start)));
    start = end + 1;
  }
  return arguments;
}

std::string joined(const std::vector<std::u16string>& parts) {
  std::string text;
  for (const std::u16string& part : parts)
    text += (text.empty() ? "" : " ") + shown(part);
  return text;
}

// The record's fields that the command line sets, as one line of text.
std::string summary(const Invocation& call) {
  std::string text;
  auto field = [&text](const std::string& name, const std::string& value) {
    if (!value.empty())
      text += (text.empty() ? "" : "; ") + name + "=" + value;
  };
  field("action", call.action == Action::kHelp      ? "help"
                  : call.action == Action::kVersion ? "version"
                  : call.action == Action::kServe   ? "serve"
                                                    : "");
  field("byHand", call.byHand ? "yes" : "");
  field("rules", joined(call.ruleSets));
  std::vector<std::u16string> scenarios;
  for (const NamedPath& named : call.scenarios)
    scenarios.push_back(named.name.empty() ? named.path : named.name + u"=" + named.path);
  field("s", joined(scenarios));
  std::vector<std::u16string> repositories;
  for (const NamedPath& named : call.repositories)
    repositories.push_back(named.path);
  field("r", joined(repositories));
  field("docs", joined(call.documents));
  field("stdinImplied", call.stdinImplied ? "yes" : "");
  field("o", shown(call.reportDir));
  field("html", call.html ? "yes" : "");
  field("pages", shown(call.pages));
  field("junit", shown(call.junit));
  field("svrl", call.svrl ? "yes" : "");
  field("input", call.reportInput ? "yes" : "");
  field("print", call.print ? "yes" : "");
  field("prefix", shown(call.reportPrefix));
  field("json", call.json ? "yes" : "");
  field("port", call.daemon.enabled ? std::to_string(call.daemon.port) : "");
  std::string warnings;
  for (const std::string& warning : call.warnings)
    warnings += (warnings.empty() ? "" : " | ") + warning;
  field("warn", warnings);
  return text;
}

struct Case {
  const char* arguments;
  StandardInput input;
  const char* record;  // summary(), or "error: " and a part of the error
};

constexpr StandardInput kTty = StandardInput::kTerminal;
constexpr StandardInput kPipe = StandardInput::kData;
constexpr StandardInput kNull = StandardInput::kNothing;

TEST(Invocation, ArgumentsToRecordOrError) {
  for (const Case& c : std::initializer_list<Case>{
           // Help: --help, -?, or nothing at all on a terminal.
           {"", kTty, "action=help"},
           {"--help", kPipe, "action=help"},
           {"-?", kNull, "action=help"},
           {"", kNull, "error: expected a document and at least one stylesheet"},
           {"--help -s c.xml", kTty, "error: --help takes no other option"},
           {"--version", kTty, "action=version"},
           // The reference validator's -h: no value, the report's HTML.
           {"-s c.xml -h -o out a.xml", kNull, "s=c.xml; docs=a.xml; o=out; html=yes"},
           {"-s c.xml --html a.xml", kNull, "s=c.xml; docs=a.xml; o=.; html=yes"},
           {"-s c.xml --extract-html a.xml", kNull, "s=c.xml; docs=a.xml; o=.; html=yes"},
           {"-s c.xml --html=out a.xml", kNull, "error: --html takes no value"},
           {"--rules r.xsl -h a.xml", kNull, "error: -h (--html) writes the configuration's"},
           {"a.xml r.xsl -h", kNull, "error: -h (--html) writes the configuration's"},
           {"--rules r.xsl --pages out a.xml", kNull, "rules=r.xsl; docs=a.xml; o=.; pages=out"},
           // Options anywhere; -- ends them.
           {"a.xml -s c.xml --junit j.xml", kNull, "s=c.xml; docs=a.xml; o=.; junit=j.xml"},
           {"-s c.xml -- -odd.xml --json", kNull, "s=c.xml; docs=-odd.xml --json; o=."},
           {"a.xml r1.xsl r2.xsl --json", kNull, "byHand=yes; rules=r1.xsl r2.xsl; docs=a.xml; json=yes"},
           {"a.xml r.xsl -o out", kNull, "byHand=yes; rules=r.xsl; docs=a.xml; o=out"},
           // The output folder: the current one unless given.
           {"-s c.xml --output-directory out a.xml", kNull, "s=c.xml; docs=a.xml; o=out"},
           {"-s c.xml --report-dir=out a.xml", kNull, "s=c.xml; docs=a.xml; o=out"},
           {"-s c.xml -o a.xml", kNull, "error: expected at least one document"},
           // Standard input when no document is named: a pipe or a file only.
           {"-s c.xml", kPipe, "s=c.xml; docs=-; stdinImplied=yes; o=."},
           {"-s c.xml", kTty, "error: expected at least one document or folder"},
           {"-s c.xml", kNull, "error: expected at least one document or folder"},
           {"-s c.xml -", kTty, "s=c.xml; docs=-; o=."},
           {"-s c.xml - -", kPipe, "error: standard input (-) can be read once"},
           {"-D -s c.xml", kPipe, "action=serve; s=c.xml; o=.; port=8080"},
           // Aliases of the reference validator's own names.
           {"-s c.xml --serialize-report-input a.xml", kNull, "s=c.xml; docs=a.xml; o=.; input=yes"},
           {"-s c.xml --svrl -p a.xml", kNull, "s=c.xml; docs=a.xml; o=.; svrl=yes; print=yes"},
           {"-s N=c.xml --report-prefix p- a.xml", kNull, "s=N=c.xml; docs=a.xml; o=.; prefix=p-"},
           {"-s c.xml -r= a.xml", kNull, "s=c.xml; r=.; docs=a.xml; o=."},
           {"-s= a.xml", kNull, "error: -s needs a value"},
           {"--rules r.xsl --svrl a.xml", kNull, "error: --print, --report-input"},
           // Its options that have no faithful counterpart: refused, naming ours.
           {"-s c.xml -c asserts.xml a.xml", kNull, "error: -c is an option of the reference validator not offered here: its assertion format"},
           {"-s c.xml -m a.xml", kNull, "error: -m is an option of the reference validator not offered here: the engine's heap"},
           {"-s c.xml -X a.xml", kNull, "error: XSLVALIDATE_DEBUG=1"},
           {"-s c.xml --log-level debug a.xml", kNull, "error: XSLVALIDATE_DEBUG=1"},
           {"-s c.xml -e a.xml", kNull, "error: -h writes the configuration's report as HTML"},
           {"-s c.xml --bogus a.xml", kNull, "error: unknown option --bogus"},
           // The service's options outside --daemon: ignored, with a warning each.
           {"-s c.xml -T 4 --disable-gui a.xml", kNull,
            "s=c.xml; docs=a.xml; o=.; warn=-T is an option of the service and is ignored "
            "without --daemon | --disable-gui is an option of the service and is ignored "
            "without --daemon"},
           {"-s c.xml -P nonsense -G a.xml", kNull,
            "s=c.xml; docs=a.xml; o=.; warn=-P is an option of the service and is ignored "
            "without --daemon | --disable-gui is an option of the service and is ignored "
            "without --daemon"},
           {"-P 9000 -s c.xml -D", kNull, "action=serve; s=c.xml; o=.; port=9000"},
           {"-P nonsense -s c.xml -D", kNull, "error: --port"},
           {"-D -s c.xml a.xml", kNull, "error: --daemon checks the documents POSTed to it"},
       }) {
    SCOPED_TRACE(std::string("arguments: ") + c.arguments);
    const ParsedInvocation parsed = parseInvocation(line(c.arguments), c.input);
    const std::string expected = c.record;
    if (expected.rfind("error: ", 0) == 0) {
      EXPECT_NE(std::string::npos, parsed.error.find(expected.substr(7))) << parsed.error;
    } else {
      EXPECT_EQ("", parsed.error);
      EXPECT_EQ(expected, summary(parsed.invocation));
    }
  }
}

}  // namespace
