// The existence test on the input document.
#ifndef XSLVALIDATE_HOST_FILE_EXISTS_H_
#define XSLVALIDATE_HOST_FILE_EXISTS_H_

#include <string_view>

// True when `path` names an existing file-system object of any kind (file,
// directory, device; on POSIX hosts also a symbolic link, even a dangling
// one); false for everything else, the empty path included.
bool fileExists(std::u16string_view path);

#endif  // XSLVALIDATE_HOST_FILE_EXISTS_H_
