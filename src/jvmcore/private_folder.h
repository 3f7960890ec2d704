// The user's private folder of this tool: where the engine server's socket
// lives and where a failing JVM leaves its crash report.
#ifndef XSLVALIDATE_JVMCORE_PRIVATE_FOLDER_H_
#define XSLVALIDATE_JVMCORE_PRIVATE_FOLDER_H_

#include <sys/types.h>

#include <optional>
#include <string>

// The folder's name: "<xdgRuntimeDir>/xslvalidate" when xdgRuntimeDir is an
// absolute path, else "/tmp/xslvalidate-<uid>". Never fails.
std::string privateFolderName(const char* xdgRuntimeDir, uid_t uid);

// The folder when it is there (not followed if a link), a directory owned
// by `uid` and closed to group and others; nullopt otherwise. Makes
// nothing.
std::optional<std::string> existingPrivateFolder(const char* xdgRuntimeDir, uid_t uid);

#endif  // XSLVALIDATE_JVMCORE_PRIVATE_FOLDER_H_
