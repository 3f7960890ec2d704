#include "verdict/output_plan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "verdict/scenarios.h"

namespace {

namespace fs = std::filesystem;

std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class OutputPlanTest : public testing::Test {
 protected:
  void SetUp() override {
    root = fs::path(testing::TempDir()) /
           ("output-plan-" + std::string(testing::UnitTest::GetInstance()
                                             ->current_test_info()->name()));
    fs::remove_all(root);
    fs::create_directories(root);
  }
  void TearDown() override { fs::remove_all(root); }
  std::u16string put(const std::string& name) {
    fs::create_directories((root / name).parent_path());
    std::ofstream(root / name) << "<Invoice xmlns=\"urn:x\"/>\n";
    return at(name);
  }
  std::u16string at(const std::string& name) { return u16((root / name).string()); }
  InputDocument document(const std::string& name) {
    return InputDocument{put(name), u"", false, "", u""};
  }
  fs::path root;
};

// An output is refused when it is a file the call reads, by whatever
// name reaches it (another spelling, a symbolic link, a hard link), and
// when another output of the call is the same file; outputs that only
// one scenario of a document would write are alternatives.
TEST_F(OutputPlanTest, ClashesByIdentityAndBetweenOutputs) {
  const std::u16string a = put("a.xml"), b = put("b.xml");
  fs::create_symlink(root / "b.xml", root / "link.xml");
  fs::create_hard_link(root / "b.xml", root / "hard.xml");
  const std::u16string rules = put("rules/x.xslt");
  const std::vector<CallInput> inputs = {{a, "the document a.xml"},
                                         {b, "the document b.xml"},
                                         {rules, "the rule set x.xslt"}};
  struct Case {
    const char* name;
    std::vector<PlannedOutput> outputs;
    const char* clash;  // a part of the refusal; empty: none
  };
  const size_t any = PlannedOutput::kAny;
  for (const Case& c : std::initializer_list<Case>{
           {"new files", {{at("a-report.xml"), "R", 0, any}, {at("c.html"), "P", 1, any}}, ""},
           {"a document itself", {{b, "R", 0, any}}, "R would overwrite the document b.xml"},
           {"another spelling", {{at("./sub/../b.xml"), "R", 0, any}}, "would overwrite the document b.xml"},
           {"a symbolic link", {{at("link.xml"), "R", 0, any}}, "would overwrite the document b.xml"},
           {"a hard link", {{at("hard.xml"), "R", 0, any}}, "would overwrite the document b.xml"},
           {"a rule set", {{rules, "J", any, any}}, "J would overwrite the rule set x.xslt"},
           {"two outputs, one new file",
            {{at("out/a-report.xml"), "R", 0, any}, {at("out/./A-report.xml"), "P", 1, any}},
            "R and P are the same file"},
           {"two scenarios of one document", {{at("s.xml"), "R1", 0, 0}, {at("s.xml"), "R2", 0, 1}}, ""},
           {"one output planned twice", {{at("s.xml"), "R", 0, any}, {at("s.xml"), "R", 0, any}}, ""},
           {"two documents' scenarios", {{at("s.xml"), "R1", 0, 0}, {at("s.xml"), "R2", 1, 1}},
            "R1 and R2 are the same file"},
       }) {
    SCOPED_TRACE(c.name);
    const std::string clash = outputClash(inputs, c.outputs);
    if (std::string(c.clash).empty())
      EXPECT_EQ("", clash);
    else
      EXPECT_NE(std::string::npos, clash.find(c.clash)) << clash;
  }
}

// The plan names every output under the names the writers give: the SVRL
// reports only when kept, and each scenario's as an alternative; the
// configuration's report, its input and HTML; the page and JUnit file.
TEST_F(OutputPlanTest, PlansEveryOutputOfAScenarioCall) {
  ScenarioSet set;
  set.file = put("conf/scenarios.xml");
  Scenario first, second;
  first.ruleSets = {put("conf/one.xslt")};
  second.ruleSets = {put("conf/two.xslt")};
  set.scenarios = {first, second};
  CheckPlan plan;
  plan.configurations = {&set};
  plan.reportPrefix = u"p-";
  plan.keepReportInput = true;
  plan.htmlDir = at("out");
  plan.keepRuleSetReports = false;
  const std::vector<InputDocument> documents = {document("in/a.xml")};
  const OutputPlaces places{at("out"), at("pages"), at("j.xml")};
  auto names = [&]() {
    std::vector<std::string> found;
    for (const PlannedOutput& output : planOutputs(plan, documents, places))
      found.push_back(fs::path(output.path).lexically_relative(root).string() + "@" +
                      (output.scenario == PlannedOutput::kAny ? "*" : std::to_string(output.scenario)));
    return found;
  };
  EXPECT_EQ((std::vector<std::string>{"j.xml@*", "out/p-a-report.xml@*",
                                      "out/p-a-report-input.xml@*", "out/p-a-report.html@*",
                                      "pages/a.xml.html@*"}),
            names());
  plan.keepRuleSetReports = true;
  const std::vector<std::string> kept = names();
  EXPECT_EQ("out/a_one.xml@0", kept[1]);
  EXPECT_EQ("out/a_two.xml@1", kept[2]);
  const std::vector<CallInput> inputs = callInputs(plan, documents);
  ASSERT_EQ(4u, inputs.size());
  EXPECT_EQ("the configuration " + (root / "conf/scenarios.xml").string(), inputs[1].what);
  EXPECT_EQ("the rule set " + (root / "conf/two.xslt").string(), inputs[3].what);
}

}  // namespace
