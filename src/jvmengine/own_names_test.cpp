#include "own_names.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// Names of this process's own, whichever way they are spelled or reached,
// against names that only look like them.
TEST(OwnNames, EveryRouteToTheCallersOwnEntriesCounts) {
  char pattern[] = "/tmp/own-names-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  fs::create_directory(dir + "/real");
  fs::create_symlink("/proc/self/cwd", dir + "/cwd-link");
  fs::create_symlink("/dev", dir + "/dev-link");
  fs::create_symlink("../dev-link/stderr", dir + "/real/relative-link");
  fs::create_symlink("loop-b", dir + "/loop-a");
  fs::create_symlink("loop-a", dir + "/loop-b");
  fs::create_symlink(dir + "/real", dir + "/plain-link");
  struct Case {
    std::string name;
    bool own;
  } cases[] = {
      {"/proc/self/cwd/invoice.xml", true},
      {"/proc/thread-self/fd/0", true},
      {"/proc/" + std::to_string(getpid()) + "/environ", true},
      {"/dev/stdin", true},
      {"/dev/stderr", true},
      {"/dev/fd/3", true},
      {"/dev/./stdout", true},
      {"/tmp/../proc/self/root/etc/hostname", true},
      {dir + "/cwd-link/invoice.xml", true},
      {dir + "/dev-link/stdin", true},
      {dir + "/real/relative-link", true},
      {dir + "/cwd-link/../x.xml", true},
      {dir + "/loop-a/x", true},
      {"relative/name.xml", true},
      {dir + "/real/invoice.xml", false},
      {dir + "/plain-link/invoice.xml", false},
      {dir + "/plain-link/../real/missing/x.xml", false},
      {"/procurement/invoice.xml", false},
      {"/dev/null", false},
      {"/devices/stdin", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.own, reachesOwnProcess(c.name)) << c.name;
  }
  fs::remove_all(dir);
}

}  // namespace
