#include "verdict/daemon_warm_up.h"

#include <gtest/gtest.h>

#include "verdict/scenarios.h"

// Every stylesheet and schema set of the plan once, shared ones included
// once, none for what a scenario does not have.
TEST(DaemonWarmUp, ListsEachCompileOfThePlanOnce) {
  ScenarioSet first;
  first.matchStylesheet = u"/c0/match.xsl";
  Scenario ubl;
  ubl.schemas = {u"/s/ubl.xsd", u"/s/common.xsd"};
  ubl.ruleSets = {u"/r/en16931.xsl", u"/r/peppol.xsl"};
  ubl.reportRunner = u"/c0/report-runner.xsl";
  Scenario cii;  // no schema, no report; one rule set shared with the first
  cii.ruleSets = {u"/r/peppol.xsl", u"/r/cii.xsl"};
  first.scenarios = {ubl, cii};
  first.noScenarioRunner = u"/c0/no-scenario.xsl";
  ScenarioSet second;  // the same rule set in another configuration
  second.matchStylesheet = u"/c1/match.xsl";
  Scenario again;
  again.ruleSets = {u"/r/en16931.xsl"};
  again.schemas = {u"/s/common.xsd"};  // another set than the first's
  second.scenarios = {again};
  CheckPlan plan;
  plan.configurations = {&first, &second};
  BundledPlaces bundled;
  bundled.summary = u"/b/summary.xsl";
  bundled.contexts = u"/b/contexts.xsl";
  bundled.reportInput = u"/b/report-input.xsl";
  bundled.explanation = u"/b/explanation.xsl";
  bundled.page = u"/b/page.xsl";

  const std::vector<WarmUpRun> expected = {
      {u"/b/summary.xsl", {}},
      {u"/b/report-input.xsl", {}},
      {u"/c0/match.xsl", {}},
      {u"", {u"/s/ubl.xsd", u"/s/common.xsd"}},
      {u"/r/en16931.xsl", {}},
      {u"/r/peppol.xsl", {}},
      {u"/c0/report-runner.xsl", {}},
      {u"/r/cii.xsl", {}},
      {u"/c0/no-scenario.xsl", {}},
      {u"/c1/match.xsl", {}},
      {u"", {u"/s/common.xsd"}},
  };
  EXPECT_EQ(warmUpRuns(plan, bundled), expected);

  // The page's stylesheet runs with line numbers; the explanation only
  // where pages are written.
  plan.pageFacts = true;
  plan.htmlDir = u"/pages";
  const std::vector<WarmUpRun> withPages = warmUpRuns(plan, bundled);
  ASSERT_GE(withPages.size(), 4u);
  EXPECT_EQ(withPages[2], (WarmUpRun{u"/b/page.xsl", {}, true}));
  EXPECT_EQ(withPages[3], (WarmUpRun{u"/b/explanation.xsl", {}}));

  CheckPlan byHand;
  byHand.ruleSets = {u"/r/a.xsl", u"/r/a.xsl", u"/r/b.xsl"};
  EXPECT_EQ(warmUpRuns(byHand, bundled),
            (std::vector<WarmUpRun>{{u"/b/summary.xsl", {}},
                                    {u"/b/contexts.xsl", {}},
                                    {u"/r/a.xsl", {}},
                                    {u"/r/b.xsl", {}}}));
}
