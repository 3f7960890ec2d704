#include "verdict/page_summary.h"

#include "verdict/markup.h"
#include "verdict/summary_line.h"

namespace {

bool readNumber(const std::string& text, long long* number) {
  if (text.empty() || text.size() > 12)
    return false;
  *number = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
    *number = *number * 10 + (c - '0');
  }
  return true;
}

const char* kindName(LocationStep::Kind kind) {
  switch (kind) {
    case LocationStep::Kind::kElement: return "element";
    case LocationStep::Kind::kAttribute: return "attribute";
    case LocationStep::Kind::kText: return "text";
  }
  return "";
}

const char* spaceName(LocationStep::Space space) {
  switch (space) {
    case LocationStep::Space::kUri: return "uri";
    case LocationStep::Space::kPrefix: return "prefix";
    case LocationStep::Space::kAny: return "any";
    case LocationStep::Space::kNone: return "none";
  }
  return "";
}

}  // namespace

bool parsePageFacts(std::string_view text, PageFacts* facts) {
  *facts = PageFacts();
  std::vector<std::string> fields;
  size_t number = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    if (end == std::string_view::npos)
      return false;  // the last line ends with a line feed
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    // A last field of "\-" is absent, as in summary.xsl; splitFields
    // would refuse it, so it is split off as empty.
    const bool absent = line.size() >= 3 && line.substr(line.size() - 3) == "\t\\-";
    if (!splitFields(absent ? line.substr(0, line.size() - 2) : line, &fields))
      return false;
    if (number == 0) {
      if (fields.size() != 2 || fields[0] != "page" || (fields[1] != "0" && fields[1] != "1"))
        return false;
      facts->sourceLines = fields[1] == "1";
    } else if (number == 1) {
      if (fields.size() != 8 || fields[0] != "id")
        return false;
      facts->identity = InvoiceIdentity{fields[1], fields[2], fields[3], fields[4],
                                        fields[5], fields[6], fields[7]};
    } else {
      PageFacts::At at;
      if (fields.size() != 4 || fields[0] != "at" || !readNumber(fields[1], &at.line) ||
          !readNumber(fields[2], &at.column))
        return false;
      if (!absent)
        at.value = fields[3];
      facts->at.push_back(std::move(at));
    }
    ++number;
  }
  return number >= 2;
}

std::string locationsXml(const std::vector<std::optional<std::vector<LocationStep>>>& locations) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<locations xmlns=\"urn:xslvalidate:page-locations\">\n";
  for (const auto& steps : locations) {
    if (!steps) {
      xml += "<location/>\n";
      continue;
    }
    xml += "<location>";
    for (const LocationStep& step : *steps) {
      xml += std::string("<step kind=\"") + kindName(step.kind) + "\" space=\"" +
             spaceName(step.space) + "\" uri=\"" + markupText(step.uri) + "\" prefix=\"" +
             markupText(step.prefix) + "\" local=\"" + markupText(step.local) +
             "\" position=\"" + std::to_string(step.position) + "\"/>";
    }
    xml += "</location>\n";
  }
  return xml + "</locations>\n";
}
