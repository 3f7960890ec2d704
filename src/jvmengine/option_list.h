// The option lists of transform runs, behind the integer handles that the
// engine interface hands out ("processor data").
#ifndef XSLVALIDATE_JVMENGINE_OPTION_LIST_H_
#define XSLVALIDATE_JVMENGINE_OPTION_LIST_H_

#include <optional>
#include <string>
#include <vector>

// Makes an empty option list with room for `capacity` options (negative is
// taken as 0) and returns its handle: positive, never reused, never 0.
// Lists are kept until the process ends. Safe from any thread.
long long newOptionList(int capacity);

// Appends a copy of `option` to the list `handle`. Returns false (adding
// nothing) when the handle is unknown.
bool appendOption(long long handle, std::string option);

// A copy of the options of list `handle`, in the order added; nullopt when
// the handle is unknown.
std::optional<std::vector<std::string>> optionsOf(long long handle);

#endif  // XSLVALIDATE_JVMENGINE_OPTION_LIST_H_
