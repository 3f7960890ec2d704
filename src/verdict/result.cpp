#include "verdict/result.h"

void Counts::add(const std::string& severity) {
  for (auto& [name, count] : bySeverity) {
    if (name == severity) {
      ++count;
      return;
    }
  }
  bySeverity.emplace_back(severity, 1);
}
