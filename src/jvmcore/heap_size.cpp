#include "heap_size.h"

const char* const kDefaultMaxHeap = "-Xmx1g";

std::optional<unsigned long long> maxHeapBytes(const std::string& value) {
  constexpr unsigned long long kLargest = 1ull << 40;
  size_t digits = 0;
  unsigned long long number = 0;
  while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9') {
    number = number * 10 + static_cast<unsigned>(value[digits] - '0');
    if (number > kLargest) return std::nullopt;
    ++digits;
  }
  if (digits == 0 || value.size() - digits > 1) return std::nullopt;
  unsigned shift = 0;
  if (digits < value.size()) {
    switch (value[digits]) {
      case 'k': case 'K': shift = 10; break;
      case 'm': case 'M': shift = 20; break;
      case 'g': case 'G': shift = 30; break;
      default: return std::nullopt;
    }
  }
  if (number > (kLargest >> shift)) return std::nullopt;
  const unsigned long long bytes = number << shift;
  if (bytes < kSmallestMaxHeap) return std::nullopt;
  return bytes;
}

std::optional<std::string> maxHeapOption(const std::string& value) {
  if (!maxHeapBytes(value)) return std::nullopt;
  return "-Xmx" + value;
}
