#include "verdict/document_prolog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// `text` as UTF-16 with the byte order given, with or without its mark.
std::string utf16(std::string_view text, bool bigEndian, bool mark) {
  std::string out = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
  for (char c : text) {
    out += bigEndian ? '\0' : c;
    out += bigEndian ? c : '\0';
  }
  return out;
}

TEST(DocumentProlog, FindsTheDoctypeBehindWhatMayComeBeforeIt) {
  struct Case {
    std::string head;
    bool whole;
    PrologKind kind;
  };
  const std::string doctype =
      "<?xml version=\"1.0\"?>\n<!-- a <!DOCTYPE in a comment -->\n<?pi x?>"
      "<!DOCTYPE lol [<!ENTITY a \"b\">]><r/>";
  const Case cases[] = {
      {"", true, PrologKind::kEmpty},
      {" \r\n\t", true, PrologKind::kEmpty},
      {"\xEF\xBB\xBF  ", true, PrologKind::kEmpty},
      {"   ", false, PrologKind::kOther},  // more may follow
      {doctype, true, PrologKind::kDoctype},
      {"\xEF\xBB\xBF" + doctype, true, PrologKind::kDoctype},
      {utf16(doctype, false, true), true, PrologKind::kDoctype},
      {utf16(doctype, true, true), true, PrologKind::kDoctype},
      {utf16(doctype, true, false), true, PrologKind::kDoctype},
      {"<r><!DOCTYPE x></r>", true, PrologKind::kOther},  // not in the prolog
      {"<!-- <!DOCTYPE x> -->", true, PrologKind::kOther},
      {"<?xml version=\"1.0\"", true, PrologKind::kOther},  // cut short
      {"<!doctype x><r/>", true, PrologKind::kOther},  // the keyword is upper case
      {"not xml", true, PrologKind::kOther},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.kind, scanProlog(c.head, c.whole)) << c.head;
}

}  // namespace
