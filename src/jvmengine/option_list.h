// The option lists of transform runs, behind the integer handles that the
// engine interface hands out ("processor data").
#ifndef XSLVALIDATE_JVMENGINE_OPTION_LIST_H_
#define XSLVALIDATE_JVMENGINE_OPTION_LIST_H_

#include <optional>
#include <string>
#include <vector>

// Makes an empty option list and returns its handle: positive, never reused,
// never 0. `capacity` is a hint of how many options will come (any int,
// INT_MAX included; a list grows as options are added). A list is kept
// until takeOptions takes it. Safe from any thread. Throws std::bad_alloc when
// memory runs out.
long long newOptionList(int capacity);

// Appends a copy of `option` to the list `handle`. Returns false (adding
// nothing) when the handle is unknown. Throws std::bad_alloc when memory
// runs out.
bool appendOption(long long handle, std::string option);

// The options of list `handle`, in the order added, taken out of the
// registry: the handle is unknown afterwards, so a process making runs for
// as long as it lives holds only the lists of runs not yet made. nullopt
// when the handle is unknown.
std::optional<std::vector<std::string>> takeOptions(long long handle);

#endif  // XSLVALIDATE_JVMENGINE_OPTION_LIST_H_
