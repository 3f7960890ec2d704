#include "verdict/daemon_answer.h"

#include <gtest/gtest.h>

#include "verdict/daemon.h"
#include "verdict/printer.h"

TEST(DaemonAnswer, DocumentNameIsThePathsLastPlainSegment) {
  const struct {
    const char* path;
    const char* name;  // empty: a name is made up
  } cases[] = {
      {"/invoice.xml", "invoice.xml"},
      {"/inbox/2026/invoice.xml", "invoice.xml"},
      {"/", ""},
      {"/inbox/", ""},
      {"/..", ""},
      {"/.", ""},
      {"/a\\..\\b.xml", ""},
      {"/line\nbreak.xml", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(documentNameOf(c.path), c.name) << c.path;
  EXPECT_EQ(documentNameOf("/" + std::string(201, 'a')), "");
}

TEST(DaemonAnswer, AcceptChoosesTheFormAndNeverRefuses) {
  const struct {
    const char* accept;
    AnswerForm form;
  } cases[] = {
      {"", AnswerForm::kReport},
      {"*/*", AnswerForm::kReport},
      {"image/png", AnswerForm::kReport},
      {"application/json", AnswerForm::kJson},
      {"Application/JSON; charset=utf-8", AnswerForm::kJson},
      {"text/html,application/xhtml+xml;q=0.9", AnswerForm::kPage},
      {"application/json, application/xml", AnswerForm::kReport},
      {"application/jsonx", AnswerForm::kReport},
  };
  for (const auto& c : cases)
    EXPECT_EQ(answerFormFor(c.accept), c.form) << c.accept;
}

TEST(DaemonAnswer, BearerTokenMustMatchWhole) {
  EXPECT_TRUE(bearerMatches("Bearer s3cret", "s3cret"));
  EXPECT_FALSE(bearerMatches("Bearer s3cre", "s3cret"));
  EXPECT_FALSE(bearerMatches("Bearer s3cretX", "s3cret"));
  EXPECT_FALSE(bearerMatches("bearer s3cret", "s3cret"));
  EXPECT_FALSE(bearerMatches("", "s3cret"));
  EXPECT_FALSE(bearerMatches("Bearer ", ""));
}

TEST(DaemonAnswer, StatusFollowsTheVerdict) {
  DocumentResult result;
  result.verdict = Verdict::kAccepted;
  EXPECT_EQ(httpStatusOf(result), 200);
  result.verdict = Verdict::kRejected;
  EXPECT_EQ(httpStatusOf(result), 406);
  result.verdict = Verdict::kNone;
  EXPECT_EQ(httpStatusOf(result), 422);
}

TEST(DaemonAnswer, MetricsHistogramIsCumulative) {
  DaemonMetrics metrics;
  metrics.record(200, 0.02);
  metrics.record(406, 3);
  metrics.record(200, 60);
  const std::string text = metrics.text();
  EXPECT_NE(text.find("xslvalidate_requests_total{status=\"200\"} 2\n"), std::string::npos);
  EXPECT_NE(text.find("xslvalidate_request_seconds_bucket{le=\"0.025\"} 1\n"), std::string::npos);
  EXPECT_NE(text.find("xslvalidate_request_seconds_bucket{le=\"5\"} 2\n"), std::string::npos);
  EXPECT_NE(text.find("xslvalidate_request_seconds_bucket{le=\"+Inf\"} 3\n"), std::string::npos);
  EXPECT_NE(text.find("xslvalidate_request_seconds_count 3\n"), std::string::npos);
}

TEST(DaemonSettings, ValuesAreCheckedAgainstTheirBounds) {
  DaemonSettings settings;
  EXPECT_EQ(setDaemonOption(&settings, u"-P", u"8081"), "");
  EXPECT_EQ(settings.port, 8081u);
  EXPECT_EQ(setDaemonOption(&settings, u"--queue", u"0"), "");
  EXPECT_EQ(settings.queue, 0u);
  for (const char16_t* wrong : {u"0", u"65536", u"-1", u"80x", u""})
    EXPECT_NE(setDaemonOption(&settings, u"--port", wrong), "");
  EXPECT_NE(setDaemonOption(&settings, u"-T", u"65"), "");
  EXPECT_NE(setDaemonOption(&settings, u"--max-body", u"0"), "");
  EXPECT_EQ(settings.port, 8081u);
}

// What a client sees of a checked document: no file of the service by its
// path (plain or as a file: URI), no engine message; names kept.
TEST(DaemonAnswer, ServedResultHoldsNoPathOfTheService) {
  const std::string root = "/tmp/xslvalidate-verdict-1-abc";
  const std::string snapshot = "/tmp/xslvalidate-verdict-2-def";
  DocumentResult result;
  result.document = "INV-1.xml";
  result.configuration = snapshot + "/c0/scenarios.xml";
  result.schema.schemas = {snapshot + "/c0/repository/xsd/UBL-Invoice-2.1.xsd"};
  result.schema.problem = "cannot read file://" + root + "/r9/INV-1.xml: gone";
  result.schema.findings.push_back(FindingRecord{});
  result.schema.findings[0].text = "in " + root + "/r9/INV-1.xml, line 3";
  result.ruleSets.push_back(RuleSetRecord{});
  result.ruleSets[0].stylesheet = snapshot + "/c0/repository/PEPPOL.xsl";
  result.ruleSets[0].report = root + "/r9/INV-1-PEPPOL.xml";
  result.ruleSets[0].problem = "the rule set (" + snapshot + "/c0/repository/PEPPOL.xsl) failed";
  result.validationReport = root + "/r9/INV-1-report.xml";
  result.reason = "no report for 'file:" + root + "/r9/INV-1.xml'";
  result.engineMessages = "Error at line 3 of " + snapshot + "/c0/PEPPOL.xsl";
  result.runMessages = result.engineMessages;
  result.compileMessages = {result.engineMessages};
  const DocumentResult served = servedResult(result, {root, snapshot});
  const std::string all = jsonOutput(served) + served.reason + served.runMessages;
  EXPECT_EQ(std::string::npos, all.find("/tmp")) << all;
  EXPECT_EQ(std::string::npos, all.find("Error at line")) << all;
  EXPECT_EQ("scenarios.xml", served.configuration.value_or(""));
  EXPECT_EQ("UBL-Invoice-2.1.xsd", served.schema.schemas[0]);
  EXPECT_EQ("PEPPOL.xsl", served.ruleSets[0].stylesheet);
  EXPECT_EQ("INV-1-report.xml", served.validationReport.value_or(""));
  EXPECT_EQ("cannot read INV-1.xml: gone", served.schema.problem);
  EXPECT_EQ("no report for 'INV-1.xml'", served.reason);
  EXPECT_EQ("the rule set (PEPPOL.xsl) failed", served.ruleSets[0].problem);
  EXPECT_EQ("INV-1.xml", served.document);
  EXPECT_TRUE(served.compileMessages.empty());
}

// Framings a proxy might read otherwise than the service: refused; the
// ordinary ones, a repeated equal length included, pass.
TEST(DaemonAnswer, FramingThatCouldSmuggleIsRefused) {
  using Headers = std::vector<std::pair<std::string, std::string>>;
  const struct {
    const char* target;
    Headers headers;
    bool refused;
  } cases[] = {
      {"/inbox/a.xml", {{"Host", "x"}, {"Content-Length", "10"}}, false},
      {"/a.xml", {{"Transfer-Encoding", "chunked"}}, false},
      {"/a.xml", {{"Content-Length", "10"}, {"content-length", "10"}}, false},
      {"/a.xml", {{"Content-Length", "10"}, {"Content-Length", "11"}}, true},
      {"/a.xml", {{"CONTENT-LENGTH", "10"}, {"Content-Length", "0"}}, true},
      {"/a.xml", {{"Content-Length", "10"}, {"Transfer-Encoding", "chunked"}}, true},
      {"/a.xml", {{"transfer-encoding", "chunked"}, {"content-length", "5"}}, true},
      {"/a.xml", {{"Content-Length", "+10"}}, true},
      {"/a.xml", {{"Content-Length", ""}}, true},
      {"*", {{"Content-Length", "10"}}, true},
      {"", {}, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.refused, !framingProblem(c.target, c.headers).empty()) << c.target;
}
