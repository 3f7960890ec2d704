#include "verdict/location_steps.h"

#include <gtest/gtest.h>

namespace {

const char kInvoice[] = "urn:oasis:names:specification:ubl:schema:xsd:Invoice-2";
const char kCac[] = "urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2";

using Kind = LocationStep::Kind;
using Space = LocationStep::Space;

// A step written as the test expects it: kind, space, uri or prefix,
// local name, position.
std::string described(const LocationStep& step) {
  const char* kind = step.kind == Kind::kElement ? "e" : step.kind == Kind::kAttribute ? "a" : "t";
  const char* space = step.space == Space::kUri      ? "uri"
                      : step.space == Space::kPrefix ? "prefix"
                      : step.space == Space::kAny    ? "any"
                                                     : "none";
  return std::string(kind) + " " + space + " " +
         (step.space == Space::kUri ? step.uri : step.prefix) + " " + step.local + " " +
         std::to_string(step.position);
}

TEST(LocationSteps, TheGeneratorsFormsAreReadIntoSteps) {
  struct Case {
    std::string location;
    std::vector<std::string> steps;
  } cases[] = {
      // ISO skeleton, full path.
      {std::string("/*:Invoice[namespace-uri()='") + kInvoice + "'][1]/*:TaxTotal[namespace-uri()='" +
           kCac + "'][2]/@currencyID",
       {std::string("e uri ") + kInvoice + " Invoice 1", std::string("e uri ") + kCac + " TaxTotal 2",
        "a none  currencyID 0"}},
      // ISO skeleton, an attribute in a namespace, local name first.
      {"/*:a[namespace-uri()=\"u\"][1]/@*[local-name()='x' and namespace-uri()='v']",
       {"e uri u a 1", "a uri v x 0"}},
      // Prefixed, as for humans: the document's own prefixes.
      {"/ubl:Invoice/cac:TaxTotal[3]/cbc:TaxAmount", {"e prefix ubl Invoice 0",
                                                      "e prefix cac TaxTotal 3",
                                                      "e prefix cbc TaxAmount 0"}},
      // fn:path's form, text node last.
      {"/Q{u}Invoice[1]/Q{}Note[2]/text()[1]", {"e uri u Invoice 1", "e uri  Note 2", "t none   1"}},
      // White space inside, doubled quotes in a literal.
      {" / *:a [ namespace-uri() = 'it''s' ] [ 4 ] ", {"e uri it's a 4"}},
      // Element names that start like keywords are names.
      {"/textual/and", {"e none  textual 0", "e none  and 0"}},
  };
  for (const Case& c : cases) {
    std::optional<std::vector<LocationStep>> steps = parseLocation(c.location);
    ASSERT_TRUE(steps) << c.location;
    std::vector<std::string> got;
    for (const LocationStep& step : *steps)
      got.push_back(described(step));
    EXPECT_EQ(got, c.steps) << c.location;
  }
}

TEST(LocationSteps, AnythingElseIsNotRead) {
  for (const char* location :
       {"", "/", "Invoice", "//cbc:ID", "/a/../b", "/a[last()]", "/a[0]", "/a[1][2]",
        "/@x/b", "/text()/a", "/a[namespace-uri()='u']", "/*:a[namespace-uri()='u'",
        "/*:a[string-length(.) > 0]", "/a | /b", "/Q{u", "/a[position()=1]",
        "/*:a[namespace-uri()='u') or doc('file:///etc/passwd')]"}) {
    EXPECT_FALSE(parseLocation(location)) << location;
  }
}

}  // namespace
