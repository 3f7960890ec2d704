// Every shared invoice against the three rule sets of its syntax, in one
// run of the tool each: the failed asserts and successful reports in each
// report must be exactly those that the engine's own command line found,
// as recorded in the shared reference table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "reference_table.h"
#include "server_setting.h"

namespace {

namespace fs = std::filesystem;

const std::string kShared = XSLVALIDATE_SHARED_DIR;

struct Expected {
  std::string ruleSet;  // file name under rules/
  std::string findings;  // sorted "id:flag" list, comma-separated
};

// Invoice (relative to the shared folder) -> its rule sets, in table order.
std::map<std::string, std::vector<Expected>> loadReference() {
  std::map<std::string, std::vector<Expected>> table;
  for (const ReferenceRow& row : readReferenceTable(kShared + "/reference.tsv"))
    table[row.invoice].push_back({row.ruleSet, row.findings});
  return table;
}

std::vector<std::string> invoices() {
  std::vector<std::string> names;
  for (const auto& [invoice, expected] : loadReference())
    names.push_back(invoice);
  return names;
}

// The sorted "id:flag" list of the failed asserts and successful reports
// in an SVRL report.
std::string findings(const std::string& svrl) {
  static const std::regex element(
      "<svrl:(failed-assert|successful-report)\\b([^>]*)>");
  static const std::regex id("\\bid=\"([^\"]*)\"");
  static const std::regex flag("\\bflag=\"([^\"]*)\"");
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(svrl.begin(), svrl.end(), element);
       it != std::sregex_iterator(); ++it) {
    std::string attributes = (*it)[2];
    std::smatch m;
    std::string entry =
        std::regex_search(attributes, m, id) ? m[1].str() : std::string();
    entry += ":";
    if (std::regex_search(attributes, m, flag))
      entry += m[1].str();
    found.push_back(entry);
  }
  std::sort(found.begin(), found.end());
  std::string joined;
  for (const std::string& f : found)
    joined += (joined.empty() ? "" : ",") + f;
  return joined;
}

class ReferenceTest : public testing::TestWithParam<std::string> {};

TEST_P(ReferenceTest, FindingsMatchTheEngineCommandLine) {
  const std::string& invoice = GetParam();
  const std::vector<Expected> expected = loadReference()[invoice];
  char name[] = "/tmp/xslvalidate-reference-XXXXXX";
  std::string dir = mkdtemp(name);
  std::string file = fs::path(invoice).filename().string();
  fs::copy_file(kShared + "/" + invoice, dir + "/" + file);

  std::vector<std::string> argv = {XSLVALIDATE_EXE, dir + "/" + file};
  for (const Expected& e : expected)
    argv.push_back(kShared + "/rules/" + e.ruleSet);
  ProcessResult r = runWithServerSetting(argv, {"PATH=/usr/bin:/bin"});
  EXPECT_EQ(0, r.exitCode) << r.err;

  std::string stem = fs::path(file).stem().string();
  std::string extension = fs::path(file).extension().string();
  for (const Expected& e : expected) {
    std::string report = dir + "/" + stem + "_" +
                         fs::path(e.ruleSet).stem().string() + extension;
    ASSERT_TRUE(fs::exists(report)) << report;
    EXPECT_EQ(e.findings, findings(readFile(report))) << e.ruleSet;
  }
  fs::remove_all(dir);
}

std::string testName(const testing::TestParamInfo<std::string>& info) {
  std::string name = fs::path(info.param).stem().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)))
      c = '_';
  return name;
}

// Every shared invoice, in-process and through the engine server.
INSTANTIATE_TEST_SUITE_P(SharedInvoices, ReferenceTest,
                         testing::ValuesIn(invoices()), testName);

}  // namespace
