// The shared reference table (reference.tsv): for each shared invoice and
// rule set, the findings the engine's command line reports.
#ifndef XSLVALIDATE_TESTS_REFERENCE_TABLE_H_
#define XSLVALIDATE_TESTS_REFERENCE_TABLE_H_

#include <string>
#include <vector>

struct ReferenceRow {
  std::string invoice;   // relative to the shared folder
  std::string ruleSet;   // file name under rules/
  std::string findings;  // sorted "id:flag" list, comma-separated
};

// The rows of `path`, in file order; lines with fewer than three
// tab-separated fields are skipped. Empty when the file cannot be read.
std::vector<ReferenceRow> readReferenceTable(const std::string& path);

#endif  // XSLVALIDATE_TESTS_REFERENCE_TABLE_H_
