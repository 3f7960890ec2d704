// The bundled page stylesheet's (page.xsl) input and output as data: the
// list of locations it follows, written as XML, and its line summary read
// back.
#ifndef XSLVALIDATE_VERDICT_PAGE_SUMMARY_H_
#define XSLVALIDATE_VERDICT_PAGE_SUMMARY_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "verdict/location_steps.h"
#include "verdict/result.h"

// What page.xsl writes: whether the engine gave source lines, the
// identification, and per location in the order given its line, column
// (0 when not found) and value.
struct PageFacts {
  bool sourceLines = false;
  InvoiceIdentity identity;
  struct At {
    long long line = 0;
    long long column = 0;
    std::optional<std::string> value;
  };
  std::vector<At> at;
};

// Parses page.xsl's output (its whole text). False when it does not have
// that form: a missing head or identification line, a field count or a
// number that is wrong, a bad escape.
bool parsePageFacts(std::string_view text, PageFacts* facts);

// The list of locations page.xsl follows, as its XML: one location
// element per entry (with no step for nullopt, a location not read).
std::string locationsXml(const std::vector<std::optional<std::vector<LocationStep>>>& locations);

#endif  // XSLVALIDATE_VERDICT_PAGE_SUMMARY_H_
