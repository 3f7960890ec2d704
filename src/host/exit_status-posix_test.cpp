#include "host/exit_status.h"

#include <gtest/gtest.h>

namespace {

TEST(ExitStatusTest, StatusesThatEightBitsCannotHoldBecome255) {
  const std::pair<int, int> cases[] = {
      {0, 0},     {1, 1},     {2, 2},         {255, 255},
      {256, 255}, {300, 255}, {-7, 255},      {-1, 255},
      {1 << 30, 255}, {INT32_MIN, 255},
  };
  for (const auto& [status, code] : cases)
    EXPECT_EQ(code, hostExitCode(status)) << status;
}

}  // namespace
