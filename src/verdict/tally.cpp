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
  if (result.verdict == Verdict::kRejected && rules.empty() && result.reasonCode)
    rules.insert(result.reasonCode);
  for (const std::string& rule : rules)
    ++tally->rejectedBy[rule];
}

std::string tallyText(const Tally& tally, size_t most) {
  const long long total = tally.accepted + tally.rejected + tally.noVerdict;
  std::string text = "documents: " + std::to_string(total) + " (accepted " +
                     std::to_string(tally.accepted) + ", rejected " +
                     std::to_string(tally.rejected) + ", no verdict " +
                     std::to_string(tally.noVerdict) + ")\n";
  if (tally.rejectedBy.empty())
    return text;
  std::vector<std::pair<std::string, long long>> rules(tally.rejectedBy.begin(),
                                                       tally.rejectedBy.end());
  std::stable_sort(rules.begin(), rules.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  text += "rejected most often by:";
  for (size_t i = 0; i < rules.size() && i < most; ++i) {
    text += std::string(i == 0 ? " " : ", ") + visible(rules[i].first) + " (" +
            std::to_string(rules[i].second) +
            (rules[i].second == 1 ? " document)" : " documents)");
  }
  return text + "\n";
}

int tallyStatus(const Tally& tally) {
  if (tally.noVerdict > 0)
    return 3;
  return tally.rejected > 0 ? 1 : 0;
}
