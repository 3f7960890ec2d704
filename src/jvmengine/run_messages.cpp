#include "run_messages.h"

#include <cstdio>

void tellRun(const std::vector<std::string>& options, RunMessageMoment moment,
             const std::string& line) {
  static const std::string kErrorFile = "-err:";
  const std::string* file = nullptr;
  for (const std::string& option : options) {
    if (option.compare(0, kErrorFile.size(), kErrorFile) == 0) file = &option;
  }
  std::FILE* out = nullptr;
  if (file && file->size() > kErrorFile.size()) {
    out = std::fopen(file->c_str() + kErrorFile.size(),
                     moment == RunMessageMoment::kBeforeTheRun ? "w" : "a");
  }
  std::fprintf(out ? out : stderr, "%s\n", line.c_str());
  if (out) std::fclose(out);
}
