// The JVM's start as it touches the process's environment, in a process of
// its own (a JVM can be made only once per process).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "java_vm.h"

extern "C" char** environ;

namespace {

// Whether `name` is in the environment, read as the C library reads it.
bool present(const char* name) { return getenv(name) != nullptr; }

// The JVM is made while the environment holds a variable it must not read
// (a heap far too small to start with). Another thread reading the
// environment meanwhile never misses a variable that is there, and the
// array the process had is the one it has afterwards, entry for entry: it
// was never changed in place.
TEST(JavaVmStart, HidesTheJvmsVariablesWithoutChangingTheEnvironmentInPlace) {
  ASSERT_EQ(0, setenv("JAVA_TOOL_OPTIONS", "-Xmx1m", 1));
  ASSERT_EQ(0, setenv("XSLVALIDATE_TEST_MARK", "here", 1));
  char** const before = environ;
  std::vector<std::string> entries;
  for (char** entry = before; *entry; ++entry) entries.emplace_back(*entry);

  std::atomic<bool> starting{true};
  std::atomic<long> misses{0};
  std::thread reader([&] {
    while (starting) {
      if (!present("XSLVALIDATE_TEST_MARK") || !present("PATH")) ++misses;
    }
  });
  JavaVM* vm = startJavaVm();
  starting = false;
  reader.join();

  ASSERT_NE(nullptr, vm) << "the JVM read JAVA_TOOL_OPTIONS";
  EXPECT_EQ(0, misses.load());
  EXPECT_EQ(before, environ);
  size_t index = 0;
  for (char** entry = environ; *entry; ++entry, ++index) {
    ASSERT_LT(index, entries.size());
    EXPECT_EQ(entries[index], *entry);
  }
  EXPECT_EQ(entries.size(), index);
  EXPECT_STREQ("-Xmx1m", getenv("JAVA_TOOL_OPTIONS"));
}

}  // namespace
