// Where the user's engine server listens: a directory only the user can
// enter, and a socket name that carries the build's identity.
#ifndef XSLVALIDATE_SERVERPROTOCOL_SOCKET_PLACE_H_
#define XSLVALIDATE_SERVERPROTOCOL_SOCKET_PLACE_H_

#include <sys/types.h>

#include <optional>
#include <string>

// The server directory: the user's private folder (jvmcore/private_folder.h),
// made with mode 0700 when missing. nullopt when it cannot be made, or when
// what is there fails existingPrivateFolder's checks.
std::optional<std::string> serverDirectory(const char* xdgRuntimeDir, uid_t uid);

// Binds (`bindSocketAt`) or connects (`connectSocketAt`) the Unix socket
// `fd` to the socket at `path`, named relative to its folder: the folder is
// opened for the moment and the address is /proc/self/fd/<folder>/<name>,
// so the folder's length plays no part and no current folder changes. 0, or
// the errno of the step that failed (ENAMETOOLONG for a name that alone is
// too long for an address).
int bindSocketAt(int fd, const std::string& path);
int connectSocketAt(int fd, const std::string& path);

// True when `path` (not followed if a link) is a socket owned by `uid`.
bool isOwnSocket(const std::string& path, uid_t uid);

// The identity of a build: a hash of the bytes of the files at `paths` (the
// engine library and the server program), as 16 hex digits; nullopt when
// one cannot be read. Another build of either gives another identity.
std::optional<std::string> buildIdentity(const std::string& firstPath,
                                         const std::string& secondPath);

#endif  // XSLVALIDATE_SERVERPROTOCOL_SOCKET_PLACE_H_
