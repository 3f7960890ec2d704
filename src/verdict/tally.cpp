#include "verdict/tally.h"

#include <algorithm>
#include <set>
#include <vector>

#include "verdict/summary_line.h"

void addToTally(Tally* tally, const DocumentResult& result) {
  switch (result.verdict) {
    case Verdict::kAccepted: ++tally->accepted; break;
    case Verdict::kRejected: ++tally->rejected; break;
    case Verdict::kNone: ++tally->noVerdict; break;
  }
  if (result.verdict == Verdict::kNone) {
    ++tally->noVerdictBy[result.reasonCode ? result.reasonCode : "unknown"];
    return;
  }
  if (result.verdict != Verdict::kRejected)
    return;
  std::set<std::string> rules;
  for (const FindingRecord& finding : result.schema.findings)
    if (finding.rejects)
      rules.insert("schema");
  for (const RuleSetRecord& ruleSet : result.ruleSets)
    for (const FindingRecord& finding : ruleSet.findings)
      if (finding.rejects)
        rules.insert(finding.id.value_or("(no id)"));
  // A document rejected for its own fault (not XML, no scenario) has no
  // finding: its reason code stands for the rule.
  if (rules.empty() && result.reasonCode)
    rules.insert(result.reasonCode);
  for (const std::string& rule : rules)
    ++tally->rejectedBy[rule];
}

namespace {

// One line naming the keys of `counts`, most documents first, ties in key
// order, at most `most` of them; empty when there are none.
std::string mostOften(const char* heading, const std::map<std::string, long long>& counts,
                      size_t most) {
  if (counts.empty())
    return std::string();
  std::vector<std::pair<std::string, long long>> keys(counts.begin(), counts.end());
  std::stable_sort(keys.begin(), keys.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  std::string text = heading;
  for (size_t i = 0; i < keys.size() && i < most; ++i) {
    text += std::string(i == 0 ? " " : ", ") + visible(keys[i].first) + " (" +
            std::to_string(keys[i].second) +
            (keys[i].second == 1 ? " document)" : " documents)");
  }
  return text + "\n";
}

}  // namespace

std::string tallyText(const Tally& tally, size_t most) {
  const long long total = tally.accepted + tally.rejected + tally.noVerdict;
  std::string text = "documents: " + std::to_string(total) + " (accepted " +
                     std::to_string(tally.accepted) + ", rejected " +
                     std::to_string(tally.rejected) + ", no verdict " +
                     std::to_string(tally.noVerdict) + ")\n";
  return text + mostOften("rejected most often by:", tally.rejectedBy, most) +
         mostOften("no verdict because of:", tally.noVerdictBy, most);
}

int tallyStatus(const Tally& tally) {
  if (tally.noVerdict > 0)
    return 3;
  return tally.rejected > 0 ? 1 : 0;
}
