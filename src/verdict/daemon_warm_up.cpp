#include "verdict/daemon_warm_up.h"

#include <algorithm>
#include <filesystem>

#include "engine/bridge.h"
#include "verdict/host_files.h"
#include "verdict/scenarios.h"
#include "verdict/shown.h"

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

namespace {

// A run's file as the warm-up's words name it: its last segment.
std::string named(const WarmUpRun& run) {
  const std::u16string& file = run.stylesheet.empty() ? run.schemas.front() : run.stylesheet;
  const size_t slash = file.find_last_of(u"/\\");
  const std::string name = shown(slash == std::u16string::npos ? file : file.substr(slash + 1));
  return run.stylesheet.empty() ? "the XML Schemas with " + name : "the stylesheet " + name;
}

}  // namespace

WarmUpOutcome warmUp(const CheckPlan& plan, BatchWorker* worker,
                     const std::function<void()>& beforeRun) {
  WarmUpOutcome outcome;
  const std::vector<WarmUpRun> runs = worker->check.bundled
                                          ? warmUpRuns(plan, *worker->check.bundled)
                                          : std::vector<WarmUpRun>();
  outcome.runs = runs.size();
  // In a folder of its own: nothing a check left in the scratch folder
  // (a report step's outline) is beside the tiny document.
  const std::u16string folder = inFolder(worker->check.scratch, u"warm-up");
  const std::u16string document = inFolder(folder, u"warm-up.xml");
  const std::u16string output = inFolder(folder, u"warm-up-output.xml");
  if (!worker->started || worker->check.scratch.empty() || !worker->check.bundled ||
      !makeFolders(folder) || !writeWholeFile(document, "<warm-up/>\n").empty()) {
    outcome.problem = "no engine or temporary folder to warm up with";
    return outcome;
  }
  for (const WarmUpRun& run : runs) {
    beforeRun();
    const int status =
        run.stylesheet.empty()
            ? runSchemaValidation(&worker->environment, document, run.schemas, output)
        : run.lines ? runTransformWithLines(&worker->environment, document, run.stylesheet, output)
                    : runTransformTo(&worker->environment, document, run.stylesheet, output);
    // A schema step has no mark between compile and run: its failure is
    // that the schemas could not be read or compiled.
    const bool compiled =
        status == 0 || (!run.stylesheet.empty() && worker->environment.lastRunCompiled);
    outcome.compiled += compiled;
    outcome.ran += status == 0;
    if (status != 0 && outcome.problem.empty())
      outcome.problem = named(run) + (compiled ? " failed on the warm-up document"
                                               : " could not be compiled");
  }
  std::error_code ignored;
  std::filesystem::remove_all(fsPath(folder), ignored);
  // What the tiny document made the rule sets say is no document's.
  worker->environment.messages.clear();
  worker->environment.compileMessages.clear();
  worker->environment.runMessages.clear();
  return outcome;
}
