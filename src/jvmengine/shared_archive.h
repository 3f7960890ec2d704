// The class-data archive that the engine library hands to its JVM:
// xslvalidate-jvmengine.jsa in the library's own directory, made at build
// time (shared_archive.cmake) and installed beside the library.
#ifndef XSLVALIDATE_JVMENGINE_SHARED_ARCHIVE_H_
#define XSLVALIDATE_JVMENGINE_SHARED_ARCHIVE_H_

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

// The path of the archive in `directory` (a path without trailing slash;
// "" is the root) if it is a regular file that passes archiveIsWhole, else
// "". Also "" when the path holds a ':', which the JVM's option would take
// as a separator between two archives.
std::string usableArchiveIn(const std::string& directory);

#endif  // XSLVALIDATE_JVMENGINE_SHARED_ARCHIVE_H_
