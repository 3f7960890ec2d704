// The extended-length form of a Windows path, which Windows opens beyond
// MAX_PATH. Pure text work, so it is built and tested on every host.
#ifndef XSLVALIDATE_HOST_LONG_PATH_H_
#define XSLVALIDATE_HOST_LONG_PATH_H_

#include <string>
#include <string_view>

// `fullPath`, a full Windows path with backslashes (as GetFullPathNameW
// gives it), in extended-length form: "C:\d\x" becomes "\\?\C:\d\x" and
// "\\server\share\x" becomes "\\?\UNC\server\share\x"; a path already
// starting with "\\?\" or "\\.\" is returned unchanged. Never fails.
std::u16string extendedLengthPath(std::u16string_view fullPath);

#endif  // XSLVALIDATE_HOST_LONG_PATH_H_
