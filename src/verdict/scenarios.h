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

struct Scenario {
  std::string name;
  std::vector<std::u16string> schemas;   // validateWithXmlSchema resources
  std::vector<std::u16string> ruleSets;  // validateWithSchematron resources, in order
  // createReport/customLevel: rule id and the level it is given
  // ("error", "warning" or "information").
  std::vector<std::pair<std::string, std::string>> customLevels;
};

struct ScenarioSet {
  std::string name;            // the configuration's own name
  std::u16string file;         // the scenarios file, as given
  std::vector<Scenario> scenarios;
  // A stylesheet, generated from the configuration, that writes "svrl" for
  // an SVRL report, otherwise the 1-based index of the first scenario whose
  // match is true, or 0 when none is.
  std::u16string matchStylesheet;
};

#endif  // XSLVALIDATE_VERDICT_SCENARIOS_H_
