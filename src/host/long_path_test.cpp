#include "host/long_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ExtendedLengthPath, PrefixesDrivePathsAndNetworkShares) {
  struct Row {
    std::u16string full;
    std::u16string extended;
  };
  const std::vector<Row> rows = {
      {uR"(C:\in\inv.xml)", uR"(\\?\C:\in\inv.xml)"},
      {uR"(C:\)", uR"(\\?\C:\)"},
      {uR"(\\server\share\inv.xml)", uR"(\\?\UNC\server\share\inv.xml)"},
      // Already extended, or a device path: left as it is.
      {uR"(\\?\C:\in\inv.xml)", uR"(\\?\C:\in\inv.xml)"},
      {uR"(\\?\UNC\server\share\x)", uR"(\\?\UNC\server\share\x)"},
      {uR"(\\.\COM1)", uR"(\\.\COM1)"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(row.extended, extendedLengthPath(row.full))
        << testing::PrintToString(row.full);
}

}  // namespace
