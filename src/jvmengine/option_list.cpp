#include "option_list.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

namespace {

struct Registry {
  std::mutex mutex;
  long long lastHandle = 0;
  std::unordered_map<long long, std::vector<std::string>> lists;
};

Registry& registry() {
  static Registry* instance = new Registry;  // never destroyed: outlives exit handlers
  return *instance;
}

}  // namespace

long long newOptionList(int capacity) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const long long handle = ++r.lastHandle;
  // The capacity is a hint: a run has a handful of options, and a caller's
  // huge figure must not become a huge allocation.
  constexpr int kMostReserved = 16;
  r.lists[handle].reserve(capacity > 0 ? std::min(capacity, kMostReserved) : 0);
  return handle;
}

bool appendOption(long long handle, std::string option) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto found = r.lists.find(handle);
  if (found == r.lists.end()) return false;
  found->second.push_back(std::move(option));
  return true;
}

std::optional<std::vector<std::string>> takeOptions(long long handle) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto found = r.lists.find(handle);
  if (found == r.lists.end()) return std::nullopt;
  std::vector<std::string> options = std::move(found->second);
  r.lists.erase(found);
  return options;
}
