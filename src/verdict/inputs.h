// The documents of one call: the files and folders named on the command
// line, a folder standing for its *.xml files at any depth, in a stable
// order, without the reports this tool writes; and a shard of them.
#ifndef XSLVALIDATE_VERDICT_INPUTS_H_
#define XSLVALIDATE_VERDICT_INPUTS_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct InputDocument {
  std::u16string path;  // the operand, or the operand joined with the path under it
  // The folders between a folder operand and the document ("" at its top
  // and for a document named itself), with the host's separator; a report
  // folder mirrors them so that same-named documents keep apart.
  std::u16string subfolder;
  bool fromFolder = false;  // found by walking a folder operand
  // How the document is shown, where not by its path (the document read
  // from standard input); empty: by its path.
  std::string shownAs;
  // Where its reports go without a report folder; empty: beside it.
  std::u16string reportHome;
};

struct InputSet {
  std::vector<InputDocument> documents;
  std::string error;  // why the operands cannot be read; empty when they can
};

// The documents that `operands` name, in operand order; under a folder,
// sorted by their path below it (code unit order), so every call over the
// same tree sees the same order. A file named itself is taken whatever
// its name; in a folder, only names ending ".xml" (any case) are, and a
// file is left out only when its content shows it is one of this tool's
// outputs (isOwnOutput), never for its name. When several folders are
// given, each document's subfolder starts with its folder's own name, so
// that same-named documents of two inboxes keep apart; two folders of the
// same name are refused. Folders named in `skipFolders` (the report and
// HTML folders) are not entered. A document reached twice is taken once.
// `error` names an operand that does not exist or a folder that cannot be
// read, or the two folders of the same name.
InputSet collectInputs(const std::vector<std::u16string>& operands,
                       const std::vector<std::u16string>& skipFolders);

// The root element of an XML file as its first bytes show it: its local
// name and the namespace its prefix (or the default) is bound to on its own
// start tag. `found` is false when no start tag is in `head`.
struct RootElement {
  bool found = false;
  std::string local;
  std::string namespaceUri;
};
RootElement rootElementOf(std::string_view head);

// True when `head`, the first bytes of an XML file, shows a root element
// named schematron-output in the SVRL namespace (whatever its prefix).
bool looksLikeSvrlReport(std::string_view head);

// True when `head` shows one of this tool's outputs: an SVRL report, a
// validation report (rep:report), or the verdict's JUnit file.
bool isOwnOutput(std::string_view head);

// One slice of the documents: the index-th of `count` (0 <= index < count).
struct Shard {
  size_t index = 0;
  size_t count = 1;
};

// The most slices a batch may be cut into.
constexpr size_t kMaxShards = 1000000;

// Reads "I/N" (decimal, 0 <= I < N <= kMaxShards); no value for anything
// else.
std::optional<Shard> parseShard(std::string_view text);

// The documents of `shard`: those at positions index, index + count, ...
// of `all`, in their order. The slices of 0..count-1 are disjoint and
// together hold every document once, as long as each gets the same list.
std::vector<InputDocument> shardOf(const std::vector<InputDocument>& all, Shard shard);

// The folder where a document's reports go under `reportDir`: `reportDir`
// joined with its subfolder; empty `reportDir` gives the document's
// reportHome (empty text: beside the document).
std::u16string reportFolderOf(const InputDocument& document, std::u16string_view reportDir);

// The first two documents whose reports under `reportDir` would have the
// same names, as "a and b"; empty text when there are none.
std::string reportClash(const std::vector<InputDocument>& documents,
                        std::u16string_view reportDir);

#endif  // XSLVALIDATE_VERDICT_INPUTS_H_
