#include "reference_table.h"

#include <fstream>
#include <sstream>

std::vector<ReferenceRow> readReferenceTable(const std::string& path) {
  std::vector<ReferenceRow> rows;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, '\t'))
      fields.push_back(cell);
    if (fields.size() < 3)
      continue;
    rows.push_back({fields[0], fields[1], fields.size() > 3 ? fields[3] : ""});
  }
  return rows;
}
