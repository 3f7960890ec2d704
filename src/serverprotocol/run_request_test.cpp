#include "run_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wire.h"

namespace {

// A run's options cross as a record and come back as the same options,
// with the caller's directory last; nothing else can be made to cross.
TEST(RunRequest, TheRecordCarriesExactlyTheRunsOptions) {
  const std::vector<std::string> options = {
      "-s:in voice.xml", "-xsl:", "-xsd:a.xsd", "-xsd:b.xsd", "-o:out/r.xml",
      "-err:", "p=a=b", "{urn:x}q=", "-o:last.xml", "-l:on", "+input-document=d oc.xml",
      "-read:/repo", "-doc:d oc.xml", "-read:rel"};
  const auto record = runRequestOf(options);
  ASSERT_TRUE(record);
  Writer message;
  writeRunRequest(message, *record, "/home/caller");
  message.u32(7);  // what follows the record on the wire stays where it is
  Reader reader{message.bytes};
  const auto back = readRunRequest(reader);
  ASSERT_TRUE(back);
  EXPECT_EQ("/home/caller", back->second);
  EXPECT_EQ(7u, reader.u32());
  const std::vector<std::string> expected = {
      "-s:in voice.xml", "-xsl:", "-xsd:a.xsd", "-xsd:b.xsd", "-o:last.xml",
      "-err:", "-l:on", "-doc:d oc.xml", "-read:/repo", "-read:rel",
      "+input-document=d oc.xml", "p=a=b", "{urn:x}q=", "-cwd:/home/caller"};
  EXPECT_EQ(expected, optionsOf(back->first, back->second));
  EXPECT_EQ(expected, optionsOf(*record, "/home/caller"));

  Writer cut;
  writeRunRequest(cut, *record, "/home/caller");
  for (std::size_t size = 0; size < cut.bytes.size(); ++size) {
    const std::string part = cut.bytes.substr(0, size);
    Reader shorter{part};
    EXPECT_FALSE(readRunRequest(shorter)) << size;
  }
}

// Options that would change the engine's configuration for every later
// run, or that Saxon takes as documents, expressions or output settings,
// have no place in the record. A document-valued parameter has one
// ("+name=file"): the engine gives it the guarded parser.
TEST(RunRequest, OtherOptionsHaveNoRecord) {
  for (const char* option : {"-strip:all", "-t", "-cwd:/elsewhere", "-it", "-l", "-l:off", "+=x.xml",
                             "?p=1+1", "!indent=yes", "=value", "no-equals"}) {
    EXPECT_FALSE(runRequestOf({"-s:a.xml", "-xsl:b.xsl", option})) << option;
  }
  const auto withParameter = runRequestOf({"-s:a.xml", "-xsl:b.xsl", "p=evil"});
  ASSERT_TRUE(withParameter);
  ASSERT_EQ(1u, withParameter->parameters.size());
  EXPECT_EQ("p", withParameter->parameters[0].first);
  EXPECT_EQ("evil", withParameter->parameters[0].second);
}

}  // namespace
