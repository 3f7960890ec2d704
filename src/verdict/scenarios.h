// A scenario configuration (scenarios.xml in the namespace
// http://www.xoev.de/de/validator/framework/1/scenarios) as read: which
// scenario a document belongs to, and what each scenario checks it with.
#ifndef XSLVALIDATE_VERDICT_SCENARIOS_H_
#define XSLVALIDATE_VERDICT_SCENARIOS_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/bridge.h"

// A resource of a scenario as the configuration writes it: its name and
// location, for the validation report, which repeats them.
struct Resource {
  std::string name;
  std::string location;
};

struct Scenario {
  std::string name;
  std::vector<std::u16string> schemas;   // validateWithXmlSchema resources
  std::vector<std::u16string> ruleSets;  // validateWithSchematron resources, in order
  std::vector<Resource> schemaResources;   // the same, as written
  std::vector<Resource> ruleSetResources;  // likewise
  std::vector<std::string> ruleSetNames;  // their resource names (empty when none), likewise
  // createReport/customLevel: rule id and the level it is given
  // ("error", "warning" or "information").
  std::vector<std::pair<std::string, std::string>> customLevels;
  std::u16string reportStylesheet;  // createReport's resource; empty: none
  std::string acceptMatch;          // an XPath over the report; empty: none
  // Made at load time when the scenario has a report stylesheet: the
  // stylesheet that runs it with the document as its input-document and
  // says "accept" or "reject" of the report it made (reportRunnerText).
  std::u16string reportRunner;
};

// One scenario's match: an XPath over the document and the namespace
// prefixes it may use.
struct ScenarioMatch {
  std::vector<std::pair<std::string, std::string>> namespaces;  // prefix, URI
  std::string xpath;
};

struct ScenarioSet {
  std::string name;            // the configuration's own name
  std::u16string file;         // the scenarios file, as given
  std::u16string repository;   // the folder its locations are resolved in
  std::vector<Scenario> scenarios;
  std::vector<ScenarioMatch> matches;  // one per scenario, in order
  std::u16string noScenarioReport;  // its stylesheet; empty: none
  // Made at load time, as a scenario's reportRunner; its acceptance is the
  // report's own assessment.
  std::u16string noScenarioRunner;
  // A stylesheet, generated from the configuration, that writes "svrl" for
  // an SVRL report, otherwise the 1-based index of the first scenario whose
  // match is true, or 0 when none is.
  std::u16string matchStylesheet;
};

// What a run of `set`'s own stylesheets (its match, rule sets, schemas,
// reports) may read besides its source and stylesheet: the files of its
// repository alone, where the engine keeps to such rules
// (engineKeepsReadRules); no rule elsewhere.
ReadRules configurationReads(const ScenarioSet& set);

// The text of the match stylesheet (see ScenarioSet) for `matches`, in
// order: each match is tested as written, with its own prefixes bound, in
// an xsl:choose, so that the first true one wins. Texts are UTF-8, and
// written as data by the XML writer (xml_writer.h): empty text when a
// binding or match is one it refuses, which loadScenarios refuses first.
std::string matchStylesheetText(const std::vector<ScenarioMatch>& matches);

// How one scenario's match fares, run alone over a document: it is false or
// true there, raises a dynamic error there, or does not compile.
enum class MatchTrial { kFalse, kTrue, kDynamicError, kNotCompiled };

// Runs `match` alone over `document` under `rules`, from a stylesheet
// written in `folder` that catches a dynamic error of the match and then
// stores the error's description in `*error` (when given). The engine's
// messages of the run are kept from every output (they speak of a
// stylesheet generated here); the caller says what is wrong in words about
// the configuration.
MatchTrial tryMatch(EngineEnvironment* environment, std::u16string_view folder,
                    std::u16string_view document, const ScenarioMatch& match,
                    const ReadRules& rules, std::string* error = nullptr);

// Reads the scenario configuration at `file` through the engine, resolves
// every location in it against `repository` (empty: the file's own
// folder), checks that every schema and rule set it names is there, and
// writes the match stylesheet (kept between calls where the host allows,
// see keptStylesheet; else into `folder`) and compiles it. Returns empty
// text with `set` filled in, or the reason the configuration is refused
// (the engine may have written details on standard error). Nothing of the
// configuration runs on a document here.
std::string loadScenarios(EngineEnvironment* environment,
                          std::u16string_view file,
                          std::u16string_view repository,
                          std::u16string_view folder, ScenarioSet* set);

#endif  // XSLVALIDATE_VERDICT_SCENARIOS_H_
