#include "heap_size.h"

#include <gtest/gtest.h>

namespace {

TEST(MaxHeap, TakesJavasSizeFormWithinTheRange) {
  struct Case {
    const char* value;
    std::optional<std::string> option;
  };
  const Case cases[] = {
      {"2g", "-Xmx2g"},
      {"2G", "-Xmx2G"},
      {"512m", "-Xmx512m"},
      {"65536k", "-Xmx65536k"},
      {"67108864", "-Xmx67108864"},
      {"1024g", "-Xmx1024g"},
      {"64m", "-Xmx64m"},
      {"63m", std::nullopt},         // below the smallest
      {"67108863", std::nullopt},
      {"1025g", std::nullopt},       // above 1 TiB
      {"99999999999999999999999g", std::nullopt},  // would overflow
      {"", std::nullopt},
      {"g", std::nullopt},
      {"2gb", std::nullopt},
      {"2t", std::nullopt},
      {"1.5g", std::nullopt},
      {"-2g", std::nullopt},
      {"+2g", std::nullopt},
      {" 2g", std::nullopt},
      {"2g ", std::nullopt},
      {"2g -XX:+PrintFlagsFinal", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(c.option, maxHeapOption(c.value)) << '"' << c.value << '"';
}

}  // namespace
