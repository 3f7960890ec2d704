#include "verdict/scenarios.h"

#include <cstdio>

#include "host/file_exists.h"
#include "path/path_text.h"
#include "verdict/bundled_stylesheets.h"
#include "verdict/host_files.h"
#include "verdict/shown.h"
#include "verdict/summary_line.h"

namespace {

const char kScenariosNamespace[] =
    "http://www.xoev.de/de/validator/framework/1/scenarios";

// `text` for an XML attribute value in double quotes; white space is
// written as character references so that it survives as written.
std::string attribute(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '"': out += "&quot;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
  return out;
}

// A location as a file name: a relative one joined to `repository`, and
// %XX escapes (a location is a URI reference) undone.
std::u16string resolve(std::u16string_view repository, const std::string& location) {
  std::string decoded;
  auto hex = [](char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
  };
  for (size_t i = 0; i < location.size(); ++i) {
    if (location[i] == '%' && i + 2 < location.size() &&
        hex(location[i + 1]) >= 0 && hex(location[i + 2]) >= 0) {
      decoded += static_cast<char>(hex(location[i + 1]) * 16 + hex(location[i + 2]));
      i += 2;
    } else {
      decoded += location[i];
    }
  }
  std::u16string path = fromUtf8(decoded);
  PathText text{hostGrammar()};
  const bool absolute =
      text.rootNameEnd(path) > 0 ||
      (!path.empty() && (path[0] == u'/' ||
                         (hostGrammar() == PathGrammar::Windows && path[0] == u'\\')));
  if (absolute || repository.empty())
    return path;
  return text.join(repository, path);
}

// Runs `stylesheet` over `input` into `output` and reads the lines the
// run wrote. False when the run failed or the output could not be read.
bool runForLines(EngineEnvironment* environment, std::u16string_view input,
                 std::u16string_view stylesheet, std::u16string_view output,
                 std::vector<std::string>* lines) {
  removeFile(output);
  if (runTransformTo(environment, input, stylesheet, output) != 0)
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
      set->scenarios.push_back(Scenario{fields[1], {}, {}, {}});
      matches->emplace_back();
      matchCounts.push_back(0);
      continue;
    }
    if (set->scenarios.empty())
      return "its summary could not be read";
    Scenario& scenario = set->scenarios.back();
    if (kind == "namespace" && fields.size() == 3) {
      matches->back().namespaces.emplace_back(fields[1], fields[2]);
    } else if (kind == "match" && fields.size() == 2) {
      matches->back().xpath = fields[1];
      ++matchCounts.back();
    } else if ((kind == "schema" || kind == "schematron") &&
               (fields.size() == 2 || (kind == "schematron" && fields.size() == 3))) {
      if (fields[1].empty())
        return "scenario \"" + scenario.name + "\" has a resource without a location";
      std::u16string path = resolve(repository, fields[1]);
      if (!fileExists(path))
        return "scenario \"" + scenario.name + "\": " + shown(path) +
               " (location " + fields[1] + ") does not exist";
      (kind == "schema" ? scenario.schemas : scenario.ruleSets).push_back(path);
      if (kind == "schematron")
        scenario.ruleSetNames.push_back(fields.size() == 3 ? fields[2] : std::string());
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

}  // namespace

std::string matchStylesheetText(const std::vector<ScenarioMatch>& matches) {
  // The XSLT elements are in the default namespace, so that no prefix of
  // the configuration can clash with them.
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<stylesheet xmlns=\"http://www.w3.org/1999/XSL/Transform\" version=\"3.0\">\n"
      "  <output method=\"text\"/>\n"
      "  <template match=\"/\">\n"
      "    <choose>\n"
      "      <when test=\"namespace-uri(*[1]) = 'http://purl.oclc.org/dsdl/svrl' "
      "and local-name(*[1]) = 'schematron-output'\">svrl</when>\n";
  for (size_t i = 0; i < matches.size(); ++i) {
    text += "      <when";
    for (const auto& [prefix, uri] : matches[i].namespaces)
      text += " xmlns:" + prefix + "=\"" + attribute(uri) + "\"";
    text += " test=\"" + attribute(matches[i].xpath) + "\">" +
            std::to_string(i + 1) + "</when>\n";
  }
  text +=
      "      <otherwise>0</otherwise>\n"
      "    </choose>\n"
      "  </template>\n"
      "</stylesheet>\n";
  return text;
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
  lines.clear();
  if (runForLines(environment, probe, set->matchStylesheet, output, &lines))
    return std::string();
  // Name the scenario whose match does not compile.
  std::u16string single = inFolder(folder, u"match-one.xsl");
  for (size_t i = 0; i < matches.size(); ++i) {
    lines.clear();
    if (!writeWholeFile(single, matchStylesheetText({matches[i]})).empty())
      break;
    if (!runForLines(environment, probe, single, output, &lines))
      return "the match of scenario \"" + set->scenarios[i].name +
             "\" is not a valid XPath expression: " + matches[i].xpath;
  }
  return "its matches could not be compiled";
}
