#include <gtest/gtest.h>

#include <string>

#include "verdict/daemon.h"
#include "verdict/shown.h"
#include "verdict/verdict.h"

// The help names every option the service takes, so one added to the
// command line cannot be left out of it.
TEST(DaemonOptions, HelpNamesEach) {
  testing::internal::CaptureStdout();
  const int status = runVerdict({u"xslvalidate-verdict", u"--help"});
  const std::string help = testing::internal::GetCapturedStdout();
  ASSERT_EQ(0, status);
  for (std::u16string_view name : daemonOptionNames()) {
    const std::string option = shown(name);
    // Whole names only: "-D" must not be found inside "--drain-timeout".
    bool named = false;
    for (size_t at = help.find(option); at != std::string::npos && !named;
         at = help.find(option, at + 1)) {
      const size_t end = at + option.size();
      named = (at == 0 || help[at - 1] == ' ' || help[at - 1] == '\n') &&
              (end == help.size() || help[end] == ' ' || help[end] == ',' ||
               help[end] == '\n' || help[end] == ':');
    }
    EXPECT_TRUE(named) << option;
  }
}
