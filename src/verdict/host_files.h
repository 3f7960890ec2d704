// The files the verdict touches besides the engine's: the identity of a
// report path, a private scratch folder, and opening a file by its path.
#ifndef XSLVALIDATE_VERDICT_HOST_FILES_H_
#define XSLVALIDATE_VERDICT_HOST_FILES_H_

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

// What sits at a path at one moment. On POSIX hosts: device, inode, size,
// and change and modification times to the nanosecond; on Windows: volume
// serial number, file index, size and last-write time. Symbolic links are
// followed.
struct FileIdentity {
  bool exists = false;
  unsigned long long device = 0;
  unsigned long long index = 0;
  unsigned long long size = 0;
  long long changed = 0;   // ctime (POSIX); unused on Windows
  long long modified = 0;  // mtime, or last-write time
};

// The identity of whatever `path` names now; `exists` is false when
// nothing can be found there.
FileIdentity fileIdentity(std::u16string_view path);

// True when `after` shows a file that was written since `before` was taken:
// it exists, and it is another file or the same file with another size or
// time.
bool writtenSince(const FileIdentity& before, const FileIdentity& after);

// `text` with ASCII letters in lower case: the key under which two names
// that differ only in case meet, as they do on the file systems Windows
// uses (and to compare an extension whatever its case).
std::u16string asciiLowered(std::u16string text);

// Makes a new folder that only this user can use, under the host's folder
// for temporary files. Returns its path, without a trailing separator, or
// empty text when none could be made.
std::u16string makeScratchFolder();

// The path of a file holding exactly `bytes`, a stylesheet of the
// verdict's own, in a folder of this user's alone that outlives the call
// (POSIX hosts), under a name made of `stem` and a hash of the bytes: the
// next call names the same file, so an engine that keeps compiled
// stylesheets by file (the engine server) compiles it once. The file is
// written only when missing or different, and put in place in one step.
// Empty text when there is no such folder (Windows, a folder that is not
// this user's alone) or the file cannot be written there.
std::u16string keptStylesheet(std::string_view stem, std::string_view bytes);

// Where a stylesheet of the verdict's own holding `bytes` is run from:
// keptStylesheet's file when there is one, else `name` in `scratch`,
// written there. Stores the path in `*path`; returns the system's reason
// when the scratch copy could not be written, else empty text.
std::string placeStylesheet(std::u16string_view scratch, std::u16string_view name,
                            std::string_view stem, std::string_view bytes,
                            std::u16string* path);

// Where every scratch folder of this process is made, and how each one's
// name starts: on POSIX hosts the temporary folder and
// "xslvalidate-verdict-<pid>-"; empty texts on Windows.
struct ScratchPlace {
  std::string folder;
  std::string namePrefix;
};
ScratchPlace scratchPlace();

// Removes the scratch folders (makeScratchFolder) of this user's calls
// that have ended without removing them (a call ended by SIGKILL, which
// no handler sees): each folder's name carries its process's id, and a
// folder is removed only when that process is gone. Quietly does nothing
// where it cannot tell.
void sweepStaleScratch();

// Removes `folder` and everything in it; quietly does nothing on failure.
void removeScratchFolder(std::u16string_view folder);

// `folder` joined with `name` by the host's separator.
std::u16string inFolder(std::u16string_view folder, std::u16string_view name);

// Removes the file at `path`; quietly does nothing when there is none.
void removeFile(std::u16string_view path);

// Reads the whole file at `path` into `bytes`; false when it cannot be
// read to its end.
bool readWholeFile(std::u16string_view path, std::string* bytes);

// fopen for a path in the tool's UTF-16 text; nullptr on failure.
std::FILE* openFile(std::u16string_view path, const char* mode);

// The tool's UTF-16 path text as a std::filesystem path, and back; the
// round trip keeps every name exactly (on POSIX hosts a byte that is not
// UTF-8 travels as its lone surrogate, see host/arguments.h).
std::filesystem::path fsPath(std::u16string_view path);
std::u16string fromFsPath(const std::filesystem::path& path);

// Makes a new empty file in the folder of `path`, under a name of this
// process's alone made from `path`'s file name (a leading dot, and no
// ".xml" ending, so that no folder walk takes it for a document), and
// returns its name: a run writes its report there and the verdict judges
// that file before it takes `path`'s name (renameFile), so the same folder
// keeps any rename within one file system. Empty text, with the system's
// reason in `*reason`, when no such file could be made.
std::u16string makePrivateFileBeside(std::u16string_view path, std::string* reason);

// True when a file is at `path` and this process may not write it (a
// read-only report, which xslvalidate refuses to replace).
bool isReadOnlyFile(std::u16string_view path);

// Gives the file at `from` the name `to` in one step, replacing any file
// there. Returns the system's reason when that failed, else empty text.
std::string renameFile(std::u16string_view from, std::u16string_view to);

// Makes `folder` and every missing folder above it. False when it cannot
// be made or something else stands at its place.
bool makeFolders(std::u16string_view folder);

// Writes `content` to `path` whole or not at all, replacing any file
// there by a rename, so that a reader, or another call writing the same
// path at the same time, always finds a whole file there: first to a file
// beside it that has no name yet (Linux) or a temporary name of this
// process's, then renamed to the path's name. A process ended while
// writing leaves no partial file (on Windows, a temporary one can stay).
// False when any step fails.
bool writeFileAtomically(std::u16string_view path, std::string_view content);

// The file in `scratch` where the engine is to write a run's messages
// (its "-err:" option), or empty text where the engine writes them only
// on standard error (Windows).
std::u16string engineMessagesFile(std::u16string_view scratch);

// True when the engine keeps to a run's read rules (bridge.h, ReadRules:
// the user's document and a scope); the Windows engine knows no such
// options.
bool engineKeepsReadRules();

// How many processors this process may run on; at least 1.
unsigned processorCount();

// True when standard error is a terminal (a person watches it).
bool stderrIsTerminal();

// What standard input is, which decides whether a call that names no
// document reads one from it.
enum class StandardInput {
  kTerminal,  // a person types there (a console): never read unasked
  kData,      // a pipe, socket or regular file: read when no document is named
  kNothing,   // a device such as /dev/null, or closed: never read unasked
};
StandardInput standardInput();

// The identity of the file standard input reads, when it is a regular
// file (a redirect such as "< invoice.xml"); `exists` is false otherwise.
// A call that writes must not replace that file either.
FileIdentity standardInputFile();

// Writes `bytes` to the file at `path`, replacing any file there. Returns
// the system's reason when that failed (the partial file removed), empty
// text when it did not.
std::string writeWholeFile(std::u16string_view path, std::string_view bytes);

// Reads one line of `file` into `line`, without its line end (a line feed,
// and a carriage return before it). False at the end of the file.
bool readLine(std::FILE* file, std::string* line);

#endif  // XSLVALIDATE_VERDICT_HOST_FILES_H_
