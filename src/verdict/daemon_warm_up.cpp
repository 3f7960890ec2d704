#include "verdict/daemon_warm_up.h"

#include <algorithm>

#include "engine/bridge.h"
#include "verdict/host_files.h"
#include "verdict/scenarios.h"

namespace {

void addOnce(std::vector<WarmUpRun>* runs, WarmUpRun run) {
  if (run.stylesheet.empty() && run.schemas.empty())
    return;
  if (std::find(runs->begin(), runs->end(), run) == runs->end())
    runs->push_back(std::move(run));
}

void addStylesheet(std::vector<WarmUpRun>* runs, const std::u16string& stylesheet) {
  addOnce(runs, WarmUpRun{stylesheet, {}});
}

}  // namespace

std::vector<WarmUpRun> warmUpRuns(const CheckPlan& plan, const BundledPlaces& bundled) {
  std::vector<WarmUpRun> runs;
  addStylesheet(&runs, bundled.summary);
  if (!plan.configurations.empty())
    addStylesheet(&runs, bundled.reportInput);
  if (!plan.ruleSets.empty() && plan.configurations.empty())
    addStylesheet(&runs, bundled.contexts);
  if (plan.pageFacts)
    addOnce(&runs, WarmUpRun{bundled.page, {}, true});
  if (!plan.htmlDir.empty() && !plan.configurations.empty())
    addStylesheet(&runs, bundled.explanation);
  for (const std::u16string& ruleSet : plan.ruleSets)
    addStylesheet(&runs, ruleSet);
  for (const ScenarioSet* set : plan.configurations) {
    addStylesheet(&runs, set->matchStylesheet);
    for (const Scenario& scenario : set->scenarios) {
      addOnce(&runs, WarmUpRun{std::u16string(), scenario.schemas});
      for (const std::u16string& ruleSet : scenario.ruleSets)
        addStylesheet(&runs, ruleSet);
      addStylesheet(&runs, scenario.reportRunner);
    }
    addStylesheet(&runs, set->noScenarioRunner);
  }
  return runs;
}

size_t warmUp(const CheckPlan& plan, BatchWorker* worker,
              const std::function<void()>& beforeRun) {
  if (!worker->started || worker->check.scratch.empty() || !worker->check.bundled)
    return 0;
  const std::u16string document = inFolder(worker->check.scratch, u"warm-up.xml");
  const std::u16string output = inFolder(worker->check.scratch, u"warm-up-output.xml");
  if (!writeWholeFile(document, "<warm-up/>\n").empty())
    return 0;
  size_t ran = 0;
  for (const WarmUpRun& run : warmUpRuns(plan, *worker->check.bundled)) {
    beforeRun();
    const int status =
        run.stylesheet.empty()
            ? runSchemaValidation(&worker->environment, document, run.schemas, output)
        : run.lines ? runTransformWithLines(&worker->environment, document, run.stylesheet, output)
                    : runTransformTo(&worker->environment, document, run.stylesheet, output);
    if (status == 0)
      ++ran;
  }
  removeFile(document);
  removeFile(output);
  // What the tiny document made the rule sets say is no document's.
  worker->environment.messages.clear();
  worker->environment.compileMessages.clear();
  worker->environment.runMessages.clear();
  return ran;
}
