// The existence test on the input document.
#ifndef XSLVALIDATE_HOST_FILE_EXISTS_H_
#define XSLVALIDATE_HOST_FILE_EXISTS_H_

#include <string>
#include <string_view>

// True when `path` names an existing file-system object of any kind (file,
// directory, device; on POSIX hosts also a symbolic link, even a dangling
// one); false for everything else, the empty path included.
//
// When false because the path could not be followed, so that an object may
// well be there (a folder without search permission, a name too long, a
// loop of symbolic links, an I/O error), and `reason` is given, sets
// `*reason` to the system's text for it; leaves `*reason` empty when there
// plainly is no such object (no such entry, a parent that is not a folder,
// the empty path) and on hosts that do not tell (Windows).
bool fileExists(std::u16string_view path, std::string* reason = nullptr);

#endif  // XSLVALIDATE_HOST_FILE_EXISTS_H_
