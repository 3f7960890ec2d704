// A private copy of a configuration's files for the validation service: the
// configuration in use reads only what it was loaded from, so an edit on
// disk takes effect through a reload and never half-way through one.
#ifndef XSLVALIDATE_VERDICT_CONFIGURATION_SNAPSHOT_H_
#define XSLVALIDATE_VERDICT_CONFIGURATION_SNAPSHOT_H_

#include <string>
#include <string_view>

// The most a snapshot copies: files, and bytes over all of them.
constexpr unsigned long long kMaxSnapshotFiles = 20000;
constexpr unsigned long long kMaxSnapshotBytes = 512ull << 20;

// Copies the scenarios `file` and its `repository` (empty: the file's own
// folder) into the new folder `into`: the repository's tree, links followed,
// as `into`/repository, and the file as `into`/scenarios.xml (or, without a
// repository, under its own name in the copied folder). Sets `*fileCopy`
// and `*repositoryCopy` to what loadScenarios is then given in their place
// (`*repositoryCopy` empty when `repository` is). Returns why no copy could
// be made (a file that cannot be read, a tree past the bounds), or empty.
std::string snapshotConfiguration(std::u16string_view file, std::u16string_view repository,
                                  std::u16string_view into, std::u16string* fileCopy,
                                  std::u16string* repositoryCopy);

// `text` (a refusal of the copy) with every path into the copy made in
// `into` written as the original it was copied from, for the operator.
std::string asOriginalPaths(std::string text, std::u16string_view file,
                            std::u16string_view repository, std::u16string_view into);

#endif  // XSLVALIDATE_VERDICT_CONFIGURATION_SNAPSHOT_H_
