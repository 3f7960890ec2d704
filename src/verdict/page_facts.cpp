#include "verdict/page_facts.h"

#include <cstdio>

#include "path/path_text.h"
#include "verdict/host_files.h"
#include "verdict/page_summary.h"
#include "verdict/reason_code.h"
#include "verdict/scenarios.h"
#include "verdict/shown.h"
#include "verdict/source_lines.h"

namespace {

// The file name of `path`, without its folder.
std::string fileName(std::u16string_view path) {
  PathText text{hostGrammar()};
  return shown(path.substr(text.filenameStart(path)));
}

// Each rule set's name on the page: the resource name the matched
// scenario gives it, else its file name.
void nameRuleSets(const CheckPlan& plan, DocumentResult* result) {
  const std::vector<std::u16string>* paths = &plan.ruleSets;
  const std::vector<std::string>* names = nullptr;
  for (const ScenarioSet* set : plan.configurations) {
    if (!result->scenario || !result->configuration || shown(set->file) != *result->configuration)
      continue;
    for (const Scenario& scenario : set->scenarios) {
      if (scenario.name == *result->scenario) {
        paths = &scenario.ruleSets;
        names = &scenario.ruleSetNames;
        break;
      }
    }
    break;
  }
  if (paths->size() != result->ruleSets.size())
    return;
  for (size_t i = 0; i < paths->size(); ++i) {
    const bool named = names && i < names->size() && !(*names)[i].empty();
    result->ruleSets[i].name = named ? (*names)[i] : fileName((*paths)[i]);
  }
}

// Whether the check found the document unreadable as XML: nothing of it
// can be shown, and reading it again would only fail again.
bool notXml(const DocumentResult& result) {
  return result.reasonCode == reason_code::kNotWellFormed ||
         result.reasonCode == reason_code::kDoctypeRefused ||
         result.reasonCode == reason_code::kEngineFailed;
}

}  // namespace

bool wantsPageFacts(const CheckPlan& plan, const DocumentResult& result) {
  if (plan.pageFacts)
    return true;
  if (!engineGivesSourceLines())
    return false;
  for (const RuleSetRecord& set : result.ruleSets)
    for (const FindingRecord& finding : set.findings)
      if (finding.location)
        return true;
  return false;
}

void addPageFacts(const CheckPlan& plan, CheckWorker* worker, std::u16string_view document,
                  DocumentResult* result) {
  nameRuleSets(plan, result);
  if (notXml(*result) || worker->environment == nullptr || worker->scratch.empty())
    return;
  std::vector<FindingRecord*> findings;
  std::vector<std::optional<std::vector<LocationStep>>> locations;
  for (RuleSetRecord& set : result->ruleSets) {
    for (FindingRecord& finding : set.findings) {
      findings.push_back(&finding);
      locations.push_back(finding.location ? parseLocation(*finding.location) : std::nullopt);
    }
  }
  const std::u16string list = inFolder(worker->scratch, u"page-locations.xml");
  const std::u16string output = inFolder(worker->scratch, u"page.txt");
  removeFile(output);
  if (!writeWholeFile(list, locationsXml(locations)).empty())
    return;
  worker->environment->messages.clear();
  const int status =
      runTransformWithLines(worker->environment, document, worker->bundled->page, output);
  std::string text;
  if (std::FILE* file = status == 0 ? openFile(output, "rb") : nullptr) {
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
      text.append(buffer, got);
    std::fclose(file);
  }
  PageFacts facts;
  if (status != 0 || !parsePageFacts(text, &facts) || facts.at.size() != findings.size()) {
    result->engineMessages += worker->environment->messages;
    return;
  }
  result->identity = facts.identity;
  result->sourceLines = facts.sourceLines;
  for (size_t i = 0; i < findings.size(); ++i) {
    findings[i]->line = facts.at[i].line;
    findings[i]->column = facts.at[i].column;
    findings[i]->value = facts.at[i].value;
  }
}
