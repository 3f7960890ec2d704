// The daemon's options, read the same on every host.
#include "verdict/daemon.h"

#include <cstdlib>
#include <vector>

#include "verdict/shown.h"

namespace {

// A whole number from `low` to `high`, or nullopt-like false.
bool wholeNumber(std::u16string_view value, unsigned long long low, unsigned long long high,
                 unsigned long long* into) {
  const std::string digits = shown(value);
  if (digits.empty() || digits.size() > 19 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return false;
  *into = std::strtoull(digits.c_str(), nullptr, 10);
  return *into >= low && *into <= high;
}

}  // namespace

const std::vector<std::u16string_view>& daemonOptionNames() {
  static const std::vector<std::u16string_view> names = {
      u"--daemon",        u"-D",           u"--disable-gui",   u"--host",
      u"-H",              u"--port",       u"-P",              u"--threads",
      u"-T",              u"--token-file", u"--max-body",      u"--queue",
      u"--max-connections", u"--read-timeout", u"--idle-timeout", u"--drain-timeout",
      u"--check-timeout"};
  return names;
}

DaemonOption daemonOption(std::u16string_view argument) {
  if (argument == u"--daemon" || argument == u"-D" || argument == u"--disable-gui")
    return DaemonOption::kFlag;
  for (std::u16string_view name : daemonOptionNames())
    if (argument == name)
      return DaemonOption::kValue;
  return DaemonOption::kNone;
}

std::string setDaemonOption(DaemonSettings* settings, std::u16string_view argument,
                            std::u16string_view value) {
  if (argument == u"--daemon" || argument == u"-D") {
    settings->enabled = true;
    return std::string();
  }
  if (argument == u"--disable-gui") {
    settings->gui = false;
    return std::string();
  }
  if (argument == u"--host" || argument == u"-H") {
    settings->host = shown(value);
    return settings->host.empty() ? "--host needs an address" : std::string();
  }
  if (argument == u"--token-file") {
    settings->tokenFile = value;
    return value.empty() ? "--token-file needs a file" : std::string();
  }
  struct Bounded {
    std::u16string_view names[2];
    unsigned long long low, high;
    unsigned* into;
  };
  const Bounded bounded[] = {
      {{u"--port", u"-P"}, 1, 65535, &settings->port},
      {{u"--threads", u"-T"}, 1, 64, &settings->threads},
      {{u"--queue", u""}, 0, 100000, &settings->queue},
      {{u"--max-connections", u""}, 1, 100000, &settings->connections},
      {{u"--read-timeout", u""}, 1, 86400, &settings->readSeconds},
      {{u"--idle-timeout", u""}, 1, 86400, &settings->idleSeconds},
      {{u"--drain-timeout", u""}, 0, 86400, &settings->drainSeconds},
      {{u"--check-timeout", u""}, 1, 86400, &settings->checkSeconds},
  };
  unsigned long long number = 0;
  for (const Bounded& option : bounded) {
    if (argument != option.names[0] && argument != option.names[1])
      continue;
    if (!wholeNumber(value, option.low, option.high, &number))
      return shown(option.names[0]) + " takes a whole number from " +
             std::to_string(option.low) + " to " + std::to_string(option.high) + ", not " +
             shown(value);
    *option.into = static_cast<unsigned>(number);
    return std::string();
  }
  if (argument == u"--max-body") {
    if (!wholeNumber(value, 1, 1ull << 40, &number))
      return "--max-body takes a number of bytes from 1, not " + shown(value);
    settings->maxBody = number;
    return std::string();
  }
  return "unknown option " + shown(argument);
}
