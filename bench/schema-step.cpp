// Times the schema step against the rule sets through the engine library's
// calls, one connection for all (with XSLVALIDATE_SERVER=on, the warm
// engine server). For each document given, in turn: one call of the schema
// step and one call of each rule set, repeated `rounds` times after one
// warming round; prints the median milliseconds per call of each kind.
//
// Usage: schema-step rounds report-dir schema.xsd rules.xslt[,rules.xslt...] document...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine_api.h"

namespace {

graal_isolatethread_t* gThread = nullptr;

// Milliseconds of one call with `options`; exits when the call fails.
double timedCall(const std::vector<std::string>& options) {
  const auto start = std::chrono::steady_clock::now();
  const long long data = createProcessorDataWithCapacity(gThread, 4);
  for (const std::string& option : options) {
    std::string copy = option;
    addProcessorProperty(gThread, data, copy.data());
  }
  const int status = j_run_transform(gThread, data);
  const auto took = std::chrono::steady_clock::now() - start;
  if (status != 0) {
    std::fprintf(stderr, "call failed with status %d\n", status);
    std::exit(1);
  }
  return std::chrono::duration<double, std::milli>(took).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fputs("usage: schema-step rounds report-dir schema.xsd rules.xslt[,...] document...\n",
               stderr);
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  const std::string reports = argv[2];
  const std::string schema = argv[3];
  std::vector<std::string> rules;
  std::stringstream list(argv[4]);
  for (std::string rule; std::getline(list, rule, ',');) rules.push_back(rule);
  if (graal_create_isolate(nullptr, nullptr, &gThread) != 0) return 1;
  std::vector<double> schemaStep, ruleSets;
  for (int round = 0; round <= rounds; ++round) {
    for (int i = 5; i < argc; ++i) {
      const std::string document = argv[i];
      const double s = timedCall({"-s:" + document, "-xsd:" + schema,
                                  "-o:" + reports + "/schema.xml"});
      double r = 0;
      for (const std::string& rule : rules) {
        r += timedCall({"-s:" + document, "-xsl:" + rule, "-o:" + reports + "/svrl.xml"});
      }
      if (round == 0) continue;  // warming: compiles and first runs
      schemaStep.push_back(s);
      ruleSets.push_back(r);
    }
  }
  std::printf("%zu %.2f %.2f\n", schemaStep.size(), median(schemaStep), median(ruleSets));
  graal_detach_thread(gThread);
  return 0;
}
