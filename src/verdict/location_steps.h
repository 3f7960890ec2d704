// An SVRL finding's location (an XPath the rule set wrote) read as a plain
// path of steps, so that it can be followed on the document as data and
// never evaluated as an expression.
#ifndef XSLVALIDATE_VERDICT_LOCATION_STEPS_H_
#define XSLVALIDATE_VERDICT_LOCATION_STEPS_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One step of a location: a child element, an attribute or a text node.
struct LocationStep {
  enum class Kind { kElement, kAttribute, kText };
  // How the step names its namespace: by URI (Q{uri}name, or *:name with
  // a namespace-uri() predicate, or @*[... and namespace-uri()='uri']), by
  // a prefix to look up on the document (cac:name), any namespace (*:name
  // without a predicate), or none (an unprefixed name).
  enum class Space { kUri, kPrefix, kAny, kNone };
  Kind kind = Kind::kElement;
  Space space = Space::kNone;
  std::string uri;     // kUri
  std::string prefix;  // kPrefix
  std::string local;   // the local name; "*" for any (elements, attributes)
  long long position = 0;  // [n]; 0 when the step has none: its first match
};

// Reads `location` as the common Schematron generators write it: the ISO
// skeleton's full paths (/*:Invoice[namespace-uri()='...'][1]/...,
// @*[local-name()='x' and namespace-uri()='...']), its prefixed paths for
// humans (/ubl:Invoice/cac:TaxTotal[2]/@currencyID) and fn:path's form
// (/Q{uri}Invoice[1]/Q{uri}ID[1], text()[1]), quotes single or double,
// white space around the parts allowed. Returns the steps from the root,
// or nullopt when it is anything else (another predicate, a function, an
// axis, a relative path, "/" alone).
std::optional<std::vector<LocationStep>> parseLocation(std::string_view location);

#endif  // XSLVALIDATE_VERDICT_LOCATION_STEPS_H_
