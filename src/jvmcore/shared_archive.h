// The class-data archive that the engine library hands to its JVM:
// xslvalidate-jvmengine.jsa in the library's own directory, made at build
// time (shared_archive.cmake) and installed beside the library.
#ifndef XSLVALIDATE_JVMCORE_SHARED_ARCHIVE_H_
#define XSLVALIDATE_JVMCORE_SHARED_ARCHIVE_H_

#include <cstddef>
#include <cstdint>
#include <string>

// File name of the archive, looked for beside the library.
inline constexpr const char kSharedArchiveName[] = "xslvalidate-jvmengine.jsa";

// Whether an archive whose first `size` bytes are `header` and whose file is
// `fileSize` bytes long holds every region its header names. The JVM maps
// the regions without checking the file's length, and a truncated archive
// ends the process with SIGBUS; one that fails this test must not reach it.
// Knows the header layout of JDK 17 archives (format version 11) and
// answers false for any other magic or version, for a header shorter than
// the region table, and for regions that end past `fileSize`.
bool archiveIsWhole(const unsigned char* header, size_t size, uint64_t fileSize);

// Whether every region of the archive open as `fd`, whose header (checked
// by archiveIsWhole) is `header`, still has the CRC-32 that the header
// records for it. The JVM makes the same check only when asked to
// (-XX:+VerifySharedSpaces), and then over its own base archive as well;
// a region that was damaged after the archive was written would otherwise
// be mapped and run. False also when the file cannot be read.
bool archiveRegionsIntact(int fd, const unsigned char* header);

// The path of the archive in `directory` (a path without trailing slash;
// "" is the root) if it is a regular file that passes archiveIsWhole and
// archiveRegionsIntact, else "". Also "" when the path holds a ':', which
// the JVM's option would take as a separator between two archives. When
// `whyNot` is given and the result is "", it says why, in a few words.
std::string usableArchiveIn(const std::string& directory, std::string* whyNot = nullptr);

#endif  // XSLVALIDATE_JVMCORE_SHARED_ARCHIVE_H_
