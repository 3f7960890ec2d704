#include "engine/bridge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/recording_engine_test_support.h"

namespace {

struct OptionCase {
  std::u16string input;
  std::u16string stylesheet;
  std::vector<std::string> options;
};

TEST(BridgeTest, HandsTheEngineThreeOptionsInUtf8) {
  const std::vector<OptionCase> cases = {
      {u"in/inv01.xml", u"/rules/syntax.xsl",
       {"-s:in/inv01.xml", "-xsl:/rules/syntax.xsl",
        "-o:in/inv01_syntax.xml"}},
      // Spaces and non-ASCII text go through unquoted, byte for byte.
      {u"my invoices/Rechnung Müller.xml", u"r/Prüfung.xsl",
       {"-s:my invoices/Rechnung M\xC3\xBCller.xml",
        "-xsl:r/Pr\xC3\xBC" "fung.xsl",
        "-o:my invoices/Rechnung M\xC3\xBCller_Pr\xC3\xBC" "fung.xml"}},
      // A character outside the Basic Multilingual Plane (U+1D11E).
      {u"g \U0001D11E/x.xml", u"s.xsl",
       {"-s:g \xF0\x9D\x84\x9E/x.xml", "-xsl:s.xsl",
        "-o:g \xF0\x9D\x84\x9E/x_s.xml"}},
      // An escaped raw byte (a name that was not UTF-8) becomes that byte.
      {u"a\xDCFF.xml", u"s.xsl", {"-s:a\xFF.xml", "-xsl:s.xsl", "-o:a\xFF_s.xml"}},
      // Linux names are plain text: backslashes and colons are ordinary
      // characters, the report is named under the host's grammar.
      {u"C:\\in\\inv.xml:x", u"r\\s.xsl",
       {"-s:C:\\in\\inv.xml:x", "-xsl:r\\s.xsl",
        "-o:C:\\in\\inv_r\\s.xml:x"}},
      // An empty stylesheet path gives a bare prefix and an empty stem.
      {u"inv.xml", u"", {"-s:inv.xml", "-xsl:", "-o:inv_.xml"}},
  };
  for (const OptionCase& c : cases) {
    RecordingEngine& e = resetRecordingEngine();
    e.runStatus = [](const RecordedRun&) { return 42; };
    EngineEnvironment environment{};
    ASSERT_EQ(0, createIsolate(&environment));
    EXPECT_EQ(42, runTransform(&environment, c.input, c.stylesheet));
    ASSERT_EQ(1u, e.runs.size());
    EXPECT_EQ(3, e.runs[0].capacity);
    EXPECT_EQ(c.options, e.runs[0].options);
    EXPECT_TRUE(e.runs[0].ran);
  }
}

// The schema run: the document, every schema in order, the report; the
// engine's status comes back unchanged.
TEST(BridgeTest, SchemaValidationHandsEverySchemaInOrder) {
  RecordingEngine& e = resetRecordingEngine();
  e.runStatus = [](const RecordedRun&) { return 2; };
  EngineEnvironment environment{};
  ASSERT_EQ(0, createIsolate(&environment));
  EXPECT_EQ(2, runSchemaValidation(&environment, u"in/Rechnung Müller.xml",
                                   {u"s/UBL-Invoice-2.1.xsd", u"s/extra.xsd"},
                                   u"/tmp/x/schema-report.xml"));
  ASSERT_EQ(1u, e.runs.size());
  EXPECT_EQ(4, e.runs[0].capacity);
  EXPECT_EQ((std::vector<std::string>{"-s:in/Rechnung M\xC3\xBCller.xml",
                                      "-xsd:s/UBL-Invoice-2.1.xsd", "-xsd:s/extra.xsd",
                                      "-o:/tmp/x/schema-report.xml"}),
            e.runs[0].options);
  EXPECT_TRUE(e.runs[0].ran);
}

TEST(BridgeTest, CreateIsolateKeepsTheThreadOrReportsFailure) {
  resetRecordingEngine();
  EngineEnvironment environment{};
  EXPECT_EQ(0, createIsolate(&environment));
  EXPECT_EQ(recordingEngineThread(), environment.thread);
  EXPECT_NE(nullptr, environment.isolate);

  resetRecordingEngine().createStatus = 5;
  testing::internal::CaptureStderr();
  EXPECT_EQ(1, createIsolate(&environment));
  EXPECT_EQ("graal_create_isolate error\n",
            testing::internal::GetCapturedStderr());
  EXPECT_EQ(std::vector<std::string>{"create"}, recordingEngine().calls);
}

}  // namespace
