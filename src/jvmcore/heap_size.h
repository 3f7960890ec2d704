// The JVM's maximum heap: the tool's default, or the user's choice from
// XSLVALIDATE_MAX_HEAP.
#ifndef XSLVALIDATE_JVMCORE_HEAP_SIZE_H_
#define XSLVALIDATE_JVMCORE_HEAP_SIZE_H_

#include <optional>
#include <string>

// The maximum heap when the user sets none, in the JVM's -Xmx form.
extern const char* const kDefaultMaxHeap;

// The smallest maximum heap accepted, in bytes: below it the JVM's young
// generation alone would not fit.
constexpr unsigned long long kSmallestMaxHeap = 64ull << 20;

// The -Xmx option for the value of XSLVALIDATE_MAX_HEAP: a whole number of
// bytes written in decimal digits, optionally followed by k, m or g (either
// case) for KiB, MiB or GiB, as java's own -Xmx takes it, from
// kSmallestMaxHeap to 1 TiB. nullopt for anything else (empty, signs,
// spaces, fractions, other units, out of range).
std::optional<std::string> maxHeapOption(const std::string& value);

// The number of bytes of a value maxHeapOption takes; nullopt for one it
// refuses.
std::optional<unsigned long long> maxHeapBytes(const std::string& value);

#endif  // XSLVALIDATE_JVMCORE_HEAP_SIZE_H_
