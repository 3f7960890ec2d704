#include "verdict/output_plan.h"

#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

#include "verdict/host_files.h"
#include "verdict/html_page.h"
#include "verdict/scenarios.h"
#include "verdict/shown.h"
#include "verdict/validation_report.h"

namespace {

// Which file a path names, as a key two spellings of one file share: its
// identity when it exists, else its absolute normalized path (symbolic
// links of the part that exists resolved), in lower case. A path through
// a folder not yet there ("new/../a.xml") names what it will name once
// the writer has made that folder.
std::pair<bool, std::u16string> fileKey(const std::u16string& path, FileIdentity* identity) {
  *identity = fileIdentity(path);
  if (identity->exists)
    return {true, std::u16string()};
  std::error_code failed;
  std::filesystem::path whole = std::filesystem::absolute(fsPath(path), failed);
  if (failed)
    return {false, asciiLowered(path)};
  *identity = fileIdentity(fromFsPath(whole.lexically_normal()));
  if (identity->exists)
    return {true, std::u16string()};
  whole = std::filesystem::weakly_canonical(whole, failed);
  return {false, asciiLowered(failed ? path : fromFsPath(whole.lexically_normal()))};
}

using IdentityKey = std::pair<unsigned long long, unsigned long long>;

}  // namespace

std::u16string pagePath(const InputDocument& document, std::u16string_view pagesDir) {
  return inFolder(reportFolderOf(document, pagesDir), htmlPageName(document.path));
}

std::vector<PlannedOutput> planOutputs(const CheckPlan& plan,
                                       const std::vector<InputDocument>& documents,
                                       const OutputPlaces& places) {
  std::vector<PlannedOutput> outputs;
  if (!places.junit.empty())
    outputs.push_back(PlannedOutput{places.junit, "the JUnit file " + shown(places.junit)});
  for (size_t d = 0; d < documents.size(); ++d) {
    const InputDocument& document = documents[d];
    const std::u16string folder = reportFolderOf(document, places.reportDir);
    const std::string of =
        " of " + (document.shownAs.empty() ? shown(document.path) : document.shownAs);
    auto add = [&](const std::u16string& path, const std::string& what, size_t scenario) {
      outputs.push_back(PlannedOutput{path, what + " " + shown(path) + of, d, scenario});
    };
    if (plan.keepRuleSetReports) {
      for (const std::u16string& stylesheet : plan.ruleSets)
        add(reportPathFor(document.path, stylesheet, folder), "the report",
            PlannedOutput::kAny);
      size_t scenario = 0;
      for (const ScenarioSet* set : plan.configurations)
        for (const Scenario& each : set->scenarios) {
          for (const std::u16string& stylesheet : each.ruleSets)
            add(reportPathFor(document.path, stylesheet, folder), "the report", scenario);
          ++scenario;
        }
    }
    if (!plan.configurations.empty()) {
      const std::u16string pageFolder =
          plan.htmlDir.empty() ? std::u16string() : reportFolderOf(document, plan.htmlDir);
      const ReportFiles files = reportFiles(document.path, folder, pageFolder, plan.reportPrefix,
                                            plan.reportPostfix);
      add(files.report, "the validation report", PlannedOutput::kAny);
      if (plan.keepReportInput)
        add(files.input, "the validation report's input", PlannedOutput::kAny);
      if (!files.html.empty())
        add(files.html, "the validation report's HTML", PlannedOutput::kAny);
    }
    if (!places.pagesDir.empty())
      add(pagePath(document, places.pagesDir), "the page", PlannedOutput::kAny);
  }
  return outputs;
}

std::vector<CallInput> callInputs(const CheckPlan& plan,
                                  const std::vector<InputDocument>& documents) {
  std::vector<CallInput> inputs;
  for (const InputDocument& document : documents)
    inputs.push_back(CallInput{document.path, "the document " + shown(document.path), {}});
  auto add = [&inputs](const std::u16string& path, const char* what) {
    if (!path.empty())
      inputs.push_back(CallInput{path, std::string(what) + " " + shown(path), {}});
  };
  for (const std::u16string& stylesheet : plan.ruleSets)
    add(stylesheet, "the rule set");
  for (const ScenarioSet* set : plan.configurations) {
    add(set->file, "the configuration");
    add(set->noScenarioReport, "the report stylesheet");
    for (const Scenario& scenario : set->scenarios) {
      for (const std::u16string& schema : scenario.schemas)
        add(schema, "the schema");
      for (const std::u16string& stylesheet : scenario.ruleSets)
        add(stylesheet, "the rule set");
      add(scenario.reportStylesheet, "the report stylesheet");
    }
  }
  return inputs;
}

std::string outputClash(const std::vector<CallInput>& inputs,
                        const std::vector<PlannedOutput>& outputs) {
  std::map<IdentityKey, const CallInput*> read;
  for (const CallInput& input : inputs) {
    const FileIdentity identity = input.path.empty() ? input.identity : fileIdentity(input.path);
    if (identity.exists)
      read.emplace(IdentityKey(identity.device, identity.index), &input);
  }
  // Outputs by the file they name; several only where they are
  // alternatives of one document (or one output planned twice).
  std::map<IdentityKey, std::vector<const PlannedOutput*>> existing;
  std::map<std::u16string, std::vector<const PlannedOutput*>> planned;
  for (const PlannedOutput& output : outputs) {
    FileIdentity identity;
    const auto [exists, path] = fileKey(output.path, &identity);
    const IdentityKey key(identity.device, identity.index);
    if (exists) {
      if (auto found = read.find(key); found != read.end())
        return output.what + " would overwrite " + found->second->what;
    }
    std::vector<const PlannedOutput*>& same = exists ? existing[key] : planned[path];
    for (const PlannedOutput* other : same) {
      const bool alternatives = other->document == output.document &&
                                ((other->scenario != output.scenario &&
                                  other->scenario != PlannedOutput::kAny &&
                                  output.scenario != PlannedOutput::kAny) ||
                                 other->what == output.what);
      if (!alternatives)
        return other->what + " and " + output.what + " are the same file";
    }
    same.push_back(&output);
  }
  return std::string();
}
