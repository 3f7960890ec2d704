#include "verdict/scenarios.h"

#include <algorithm>
#include <cstdio>

#include "host/file_exists.h"
#include "path/path_text.h"
#include "verdict/bundled_stylesheets.h"
#include "verdict/host_files.h"
#include "verdict/resource_location.h"
#include "verdict/shown.h"
#include "verdict/summary_line.h"
#include "verdict/validation_report.h"
#include "verdict/xml_writer.h"

namespace {

const char kScenariosNamespace[] =
    "http://www.xoev.de/de/validator/framework/1/scenarios";

// The longest match a configuration may give, in bytes: real matches are
// a line or two; a longer one is refused before the engine compiles it.
constexpr size_t kMaxMatchBytes = 64 * 1024;

// `text` cut to its first `most` bytes (whole UTF-8 sequences), with
// "..." when cut, and made visible, for a message.
std::string shortened(const std::string& text, size_t most = 80) {
  size_t end = std::min(most, text.size());
  while (end < text.size() && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  return visible(text.substr(0, end)) + (end < text.size() ? "..." : "");
}

// shortened(text) in double quotes.
std::string shortQuote(const std::string& text, size_t most = 80) {
  return "\"" + shortened(text, most) + "\"";
}

// Why a scenario's namespace binding cannot be used, or empty text.
// `earlier` are the scenario's bindings before it.
std::string badNamespace(const std::string& prefix, const std::string& uri,
                         const std::vector<std::pair<std::string, std::string>>& earlier) {
  if (!isNcName(prefix) || prefix == "xml" || prefix == "xmlns")
    return "namespace prefix " + shortQuote(prefix) + " is not a valid prefix (an NCName other "
           "than xml and xmlns)";
  for (const auto& [bound, ignored] : earlier)
    if (bound == prefix)
      return "namespace prefix " + shortQuote(prefix) + " is bound twice";
  if (uri.empty())
    return "namespace prefix " + shortQuote(prefix) + " is bound to no URI";
  if (uri == "http://www.w3.org/XML/1998/namespace" || uri == "http://www.w3.org/2000/xmlns/")
    return "namespace prefix " + shortQuote(prefix) + " is bound to the reserved namespace " +
           uri + ", which no prefix but xml or xmlns may have";
  for (unsigned char c : uri)
    if (c < 0x20 || c == 0x7F)
      return "the URI of namespace prefix " + shortQuote(prefix) + " holds a control character";
  if (!isXmlText(uri))
    return "the URI of namespace prefix " + shortQuote(prefix) + " is not XML text";
  return std::string();
}

// Runs `stylesheet` over `input` into `output` as runTransformTo does,
// with the engine's messages of the run written to a file in `folder` and
// dropped, never to standard error or the caller's messages. Where the
// engine writes messages only to standard error, they stay there.
int runQuietly(EngineEnvironment* environment, std::u16string_view folder,
               std::u16string_view input, std::u16string_view stylesheet,
               std::u16string_view output, const ReadRules& rules) {
  const std::u16string messagesFile = environment->messagesFile;
  const size_t messages = environment->messages.size();
  const size_t runMessages = environment->runMessages.size();
  const size_t compiles = environment->compileMessages.size();
  environment->messagesFile = engineMessagesFile(folder);
  const int status = runTransformTo(environment, input, stylesheet, output, rules);
  removeFile(environment->messagesFile);
  environment->messagesFile = messagesFile;
  environment->messages.resize(std::min(messages, environment->messages.size()));
  environment->runMessages.resize(std::min(runMessages, environment->runMessages.size()));
  environment->compileMessages.resize(
      std::min(compiles, environment->compileMessages.size()));
  return status;
}

// Runs `stylesheet` over `input` into `output` and reads the lines the
// run wrote. False when the run failed or the output could not be read.
bool runForLines(EngineEnvironment* environment, std::u16string_view input,
                 std::u16string_view stylesheet, std::u16string_view output,
                 std::vector<std::string>* lines, const ReadRules& rules = {}) {
  removeFile(output);
  if (runTransformTo(environment, input, stylesheet, output, rules) != 0)
    return false;
  std::FILE* file = openFile(output, "rb");
  if (!file)
    return false;
  std::string line;
  while (readLine(file, &line))
    lines->push_back(line);
  std::fclose(file);
  return true;
}

// The scenarios and their matches from the configuration's summary lines.
// Returns the reason the configuration is refused, or empty text.
std::string parseConfiguration(const std::vector<std::string>& lines,
                               std::u16string_view repository, ScenarioSet* set,
                               std::vector<ScenarioMatch>* matches) {
  std::vector<std::string> fields;
  if (lines.empty() || !splitFields(lines[0], &fields) || fields.size() != 2)
    return "its summary could not be read";
  if (fields[0] == "not-scenarios")
    return "its root element is " + fields[1] + ", not scenarios in the namespace " +
           kScenariosNamespace;
  set->name = fields[1];
  std::vector<int> matchCounts;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (!splitFields(lines[i], &fields) || fields.empty())
      return "its summary could not be read";
    const std::string& kind = fields[0];
    if (kind == "scenario" && fields.size() == 2) {
      if (fields[1].empty())
        return "scenario " + std::to_string(set->scenarios.size() + 1) + " has no name";
      set->scenarios.emplace_back();
      set->scenarios.back().name = fields[1];
      matches->emplace_back();
      matchCounts.push_back(0);
      continue;
    }
    if (kind == "no-scenario-report" && fields.size() == 2) {
      const ResolvedLocation resolved = resolveLocation(repository, fields[1]);
      if (!resolved.refused.empty())
        return "noScenarioReport: location " + shortQuote(fields[1], 200) +
               " is refused: " + resolved.refused;
      const std::u16string& path = resolved.path;
      if (!fileExists(path))
        return "noScenarioReport: " + shown(path) + " (location " + fields[1] +
               ") does not exist";
      set->noScenarioReport = path;
      continue;
    }
    if (set->scenarios.empty())
      return "its summary could not be read";
    Scenario& scenario = set->scenarios.back();
    if (kind == "namespace" && fields.size() == 3) {
      const std::string bad = badNamespace(fields[1], fields[2], matches->back().namespaces);
      if (!bad.empty())
        return "scenario \"" + scenario.name + "\": " + bad;
      matches->back().namespaces.emplace_back(fields[1], fields[2]);
    } else if (kind == "match" && fields.size() == 2) {
      if (fields[1].size() > kMaxMatchBytes)
        return "the match of scenario \"" + scenario.name + "\" is " +
               std::to_string(fields[1].size()) + " bytes long, more than the " +
               std::to_string(kMaxMatchBytes) + " a match may have: " + shortQuote(fields[1]);
      if (!isXmlText(fields[1]))
        return "the match of scenario \"" + scenario.name +
               "\" holds a character XML cannot carry: " + shortQuote(fields[1]);
      matches->back().xpath = fields[1];
      ++matchCounts.back();
    } else if ((kind == "schema" || kind == "schematron" || kind == "report") &&
               fields.size() == (kind == "report" ? 2u : 3u)) {
      if (fields[1].empty())
        return "scenario \"" + scenario.name + "\" has a resource without a location";
      const ResolvedLocation resolved = resolveLocation(repository, fields[1]);
      if (!resolved.refused.empty())
        return "scenario \"" + scenario.name + "\": location " + shortQuote(fields[1], 200) +
               " is refused: " + resolved.refused;
      const std::u16string& path = resolved.path;
      if (!fileExists(path))
        return "scenario \"" + scenario.name + "\": " + shown(path) +
               " (location " + fields[1] + ") does not exist";
      if (kind == "report") {
        scenario.reportStylesheet = path;
      } else {
        (kind == "schema" ? scenario.schemas : scenario.ruleSets).push_back(path);
        (kind == "schema" ? scenario.schemaResources : scenario.ruleSetResources)
            .push_back(Resource{fields[2], fields[1]});
        if (kind == "schematron")
          scenario.ruleSetNames.push_back(fields[2]);
      }
    } else if (kind == "accept" && fields.size() == 2) {
      if (fields[1].size() > kMaxMatchBytes || !isXmlText(fields[1]))
        return "the acceptMatch of scenario \"" + scenario.name +
               "\" is too long or holds a character XML cannot carry: " +
               shortQuote(fields[1]);
      scenario.acceptMatch = fields[1];
    } else if (kind == "level" && fields.size() == 3) {
      if (fields[1] != "error" && fields[1] != "warning" && fields[1] != "information")
        return "scenario \"" + scenario.name + "\": customLevel level \"" + fields[1] +
               "\" is not error, warning or information";
      scenario.customLevels.emplace_back(fields[2], fields[1]);
    } else {
      return "its summary could not be read";
    }
  }
  if (set->scenarios.empty())
    return "it has no scenario";
  for (size_t i = 0; i < set->scenarios.size(); ++i) {
    if (matchCounts[i] != 1)
      return "scenario \"" + set->scenarios[i].name + "\" needs exactly one match";
    if (set->scenarios[i].schemas.empty() && set->scenarios[i].ruleSets.empty())
      return "scenario \"" + set->scenarios[i].name +
             "\" checks nothing (no validateWithXmlSchema, no validateWithSchematron)";
  }
  return std::string();
}

// Places `text` as a kept stylesheet (or in `folder`) and compiles it by
// running it once over `probe` (what the run writes is not read). Returns
// the reason it failed, or empty.
// Stylesheets of the same bytes (scenarios sharing a report stylesheet)
// are placed at the same path and compiled once: `compiled` remembers them.
std::string placeAndCompile(EngineEnvironment* environment, std::u16string_view folder,
                            std::u16string_view probe, std::u16string_view name,
                            std::string_view stem, const std::string& text,
                            const ReadRules& rules, std::u16string* path,
                            std::vector<std::u16string>* compiled) {
  std::string reason = placeStylesheet(folder, name, stem, text, path);
  if (!reason.empty())
    return "the temporary folder could not be written (" + reason + ")";
  for (const std::u16string& done : *compiled)
    if (done == *path)
      return std::string();
  compiled->push_back(*path);
  if (runTransformTo(environment, probe, *path, inFolder(folder, u"report-probe.out"), rules) !=
      0)
    return "compile";
  return std::string();
}

// Why a report runner for `reportStylesheet` did not compile: its
// acceptance alone compiled over `probe` tells an acceptMatch that is not
// XPath ("accept") from a report stylesheet that does not compile
// ("report"). Run only once the runner has failed.
std::string whichPartFailed(EngineEnvironment* environment, std::u16string_view folder,
                            std::u16string_view probe,
                            const std::vector<std::pair<std::string, std::string>>& namespaces,
                            const std::string& acceptMatch, const ReadRules& rules) {
  const std::u16string single = inFolder(folder, u"accept-one.xsl");
  std::vector<std::string> lines;
  if (writeWholeFile(single, acceptStylesheetText(namespaces, acceptMatch)).empty() &&
      !runForLines(environment, probe, single, inFolder(folder, u"report-probe.txt"), &lines,
                   rules))
    return "accept";
  return "report";
}

// Makes each scenario's report runner (its report stylesheet and its
// acceptance in one), and the configuration's noScenarioReport runner,
// and compiles each once, so that a report stylesheet that does not
// compile or an acceptMatch that is not XPath refuses the configuration
// before any document is read.
std::string prepareReports(EngineEnvironment* environment, std::u16string_view folder,
                           std::u16string_view probe, const std::vector<ScenarioMatch>& matches,
                           ScenarioSet* set) {
  const ReadRules rules = configurationReads(*set);
  std::vector<std::u16string> compiled;
  for (size_t i = 0; i < set->scenarios.size(); ++i) {
    Scenario& scenario = set->scenarios[i];
    if (scenario.reportStylesheet.empty()) {
      if (!scenario.acceptMatch.empty())
        return "scenario \"" + scenario.name + "\" has an acceptMatch but no createReport";
      continue;
    }
    // The match's bindings serve the acceptMatch alone: without one, none
    // is made, so that scenarios sharing a report stylesheet share a runner.
    const std::vector<std::pair<std::string, std::string>> namespaces =
        scenario.acceptMatch.empty() ? std::vector<std::pair<std::string, std::string>>()
                                     : matches[i].namespaces;
    const std::string runner =
        reportRunnerText(scenario.reportStylesheet, namespaces, scenario.acceptMatch);
    if (runner.empty())
      return "scenario \"" + scenario.name + "\" binds a namespace prefix that is not a name, "
             "or a namespace with a control character";
    std::string reason = placeAndCompile(environment, folder, probe,
                                         fromUtf8("report-" + std::to_string(i + 1) + ".xsl"),
                                         "report", runner, rules, &scenario.reportRunner,
                                         &compiled);
    if (reason == "compile" &&
        whichPartFailed(environment, folder, probe, namespaces, scenario.acceptMatch, rules) ==
            "accept")
      return "the acceptMatch of scenario \"" + scenario.name +
             "\" is not a valid XPath expression: " + scenario.acceptMatch;
    if (reason == "compile")
      return "the report stylesheet of scenario \"" + scenario.name + "\" (" +
             shown(scenario.reportStylesheet) + ") could not be compiled";
    if (!reason.empty())
      return reason;
  }
  if (set->noScenarioReport.empty())
    return std::string();
  std::string reason = placeAndCompile(environment, folder, probe, u"report-none.xsl", "report",
                                       reportRunnerText(set->noScenarioReport, {}, ""), rules,
                                       &set->noScenarioRunner, &compiled);
  if (reason == "compile")
    return "the noScenarioReport stylesheet (" + shown(set->noScenarioReport) +
           ") could not be compiled";
  return reason;
}

}  // namespace

MatchTrial tryMatch(EngineEnvironment* environment, std::u16string_view folder,
                    std::u16string_view document, const ScenarioMatch& match,
                    const ReadRules& rules, std::string* error) {
  XmlElement choose{"choose", {}, {}, "", {}};
  choose.children.push_back(XmlElement{"when", match.namespaces, {{"test", match.xpath}}, "1", {}});
  choose.children.push_back(XmlElement{"otherwise", {}, {}, "0", {}});
  XmlElement attempt{"try", {}, {}, "", {std::move(choose)}};
  // "error", then the error's description on one line.
  XmlElement described{"value-of",
                       {},
                       {{"select", "'error', translate($Q{http://www.w3.org/2005/xqt-errors}"
                                   "description, codepoints-to-string((10, 13)), '  ')"},
                        {"separator", "\n"}},
                       "",
                       {}};
  attempt.children.push_back(XmlElement{"catch", {}, {}, "", {std::move(described)}});
  const std::u16string single = inFolder(folder, u"match-one.xsl");
  const std::u16string output = inFolder(folder, u"match-one.txt");
  removeFile(output);
  if (!writeWholeFile(single, textStylesheet(std::move(attempt))).empty() ||
      runQuietly(environment, folder, document, single, output, rules) != 0)
    return MatchTrial::kNotCompiled;
  std::string line, description;
  if (std::FILE* file = openFile(output, "rb")) {
    readLine(file, &line);
    readLine(file, &description);
    std::fclose(file);
  }
  if (error)
    *error = description;
  return line == "1" ? MatchTrial::kTrue : line == "0" ? MatchTrial::kFalse
                                                       : MatchTrial::kDynamicError;
}

ReadRules configurationReads(const ScenarioSet& set) {
  ReadRules rules;
  if (engineKeepsReadRules())
    rules.scope.push_back(set.repository);
  return rules;
}

std::string matchStylesheetText(const std::vector<ScenarioMatch>& matches) {
  // The XSLT elements are in the default namespace, so that no prefix of
  // the configuration can clash with them; each match and its bindings are
  // values the writer escapes, never text pasted into the stylesheet.
  XmlElement choose{"choose", {}, {}, "", {}};
  choose.children.push_back(XmlElement{
      "when",
      {},
      {{"test", "namespace-uri(*[1]) = 'http://purl.oclc.org/dsdl/svrl' and "
                "local-name(*[1]) = 'schematron-output'"}},
      "svrl",
      {}});
  for (size_t i = 0; i < matches.size(); ++i)
    choose.children.push_back(XmlElement{
        "when", matches[i].namespaces, {{"test", matches[i].xpath}}, std::to_string(i + 1), {}});
  choose.children.push_back(XmlElement{"otherwise", {}, {}, "0", {}});
  return textStylesheet(std::move(choose));
}

std::string loadScenarios(EngineEnvironment* environment,
                          std::u16string_view file,
                          std::u16string_view repository,
                          std::u16string_view folder, ScenarioSet* set) {
  set->file = std::u16string(file);
  if (!fileExists(file))
    return "the file does not exist";
  std::u16string base(repository);
  if (base.empty()) {
    PathText text{hostGrammar()};
    Stretch parent = text.parentPath(file);
    base = std::u16string(file.substr(parent.start, parent.end - parent.start));
  } else if (!fileExists(base)) {
    return "the repository folder " + shown(base) + " does not exist";
  }
  set->repository = base.empty() ? u"." : base;
  const ReadRules rules = configurationReads(*set);

  std::u16string reader;
  std::string reason =
      placeStylesheet(folder, u"scenarios.xsl", "scenarios", scenariosStylesheet(), &reader);
  if (!reason.empty())
    return "the temporary folder could not be written (" + reason + ")";
  std::vector<std::string> lines;
  if (!runForLines(environment, file, reader, inFolder(folder, u"scenarios.txt"),
                   &lines))
    return "it could not be read as XML";
  std::vector<ScenarioMatch> matches;
  reason = parseConfiguration(lines, base, set, &matches);
  if (!reason.empty())
    return reason;
  set->matches = matches;

  // Compiled and run once over a document no match can be true for: a
  // match that is not XPath, or a prefix that is not bound, fails here,
  // before any document is checked.
  std::u16string probe = inFolder(folder, u"no-document.xml");
  reason = writeWholeFile(probe, "<xslvalidate-no-document/>\n");
  if (reason.empty())
    reason = placeStylesheet(folder, u"match.xsl", "match", matchStylesheetText(matches),
                             &set->matchStylesheet);
  if (!reason.empty())
    return "the temporary folder could not be written (" + reason + ")";
  std::u16string output = inFolder(folder, u"match-probe.txt");
  if (runQuietly(environment, folder, probe, set->matchStylesheet, output, rules) == 0)
    return prepareReports(environment, folder, probe, matches, set);
  // Name the scenario whose match does not compile, or raises a dynamic
  // error even on a document it is not meant for.
  for (size_t i = 0; i < matches.size(); ++i) {
    std::string error;
    const MatchTrial trial = tryMatch(environment, folder, probe, matches[i], rules, &error);
    if (trial == MatchTrial::kNotCompiled)
      return "the match of scenario \"" + set->scenarios[i].name +
             "\" is not a valid XPath expression: " + shortened(matches[i].xpath);
    if (trial == MatchTrial::kDynamicError)
      return "the match of scenario \"" + set->scenarios[i].name +
             "\" raises a dynamic error on a document it is not meant for (" +
             "<xslvalidate-no-document/>): " + shortened(matches[i].xpath) + ": " +
             shortened(error, 300);
  }
  return "its matches could not be compiled";
}
