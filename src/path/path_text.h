// Path grammar over UTF-16 path text, taken exactly as it arrives: nothing
// is normalised, trimmed, case-folded or resolved, and the file system is
// never touched.
//
// Two grammars exist. `PathGrammar::Windows` splits text the way Windows
// does: both slashes separate, drive designators ("C:"), network names
// ("\\server"), the prefixes "\\?\", "\\.\" and "\??\", and alternate-stream
// suffixes (":stream") are recognised, and `join` inserts a backslash.
// `PathGrammar::Posix` has "/" as its only separator, no root names, no
// drive designators and no stream suffixes, and `join` inserts "/".
// Stems and extensions follow the same rules in both.
#ifndef XSLVALIDATE_PATH_PATH_TEXT_H_
#define XSLVALIDATE_PATH_PATH_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

enum class PathGrammar { Windows, Posix };

// The grammar of the host the tool was built for.
PathGrammar hostGrammar();

// A stretch [start, end) of the text it was computed from.
struct Stretch {
  size_t start;
  size_t end;
};

// Each operation takes path text and returns positions into it, or (for
// `join`) new text. None of them fails.
struct PathText {
  PathGrammar grammar;

  // End of the root name ("C:", "\\server", "\\?\"); 0 when there is none.
  // Always 0 under the POSIX grammar.
  size_t rootNameEnd(std::u16string_view path) const;
  // Start of the file name: just after the last separator of the relative
  // path, or the length of the text when the file name is empty.
  size_t filenameStart(std::u16string_view path) const;
  // The file name without its extension (and without a stream suffix).
  Stretch stem(std::u16string_view path) const;
  // The extension, its dot included; empty when there is none.
  Stretch extension(std::u16string_view path) const;
  // The directory part: the text without its file name and the separators
  // before it; a root is kept exactly as written.
  Stretch parentPath(std::u16string_view path) const;
  // `directory` followed by `name`, with one separator between them where
  // one is needed. `name` holds no separator.
  std::u16string join(std::u16string_view directory,
                      std::u16string_view name) const;
};

#endif  // XSLVALIDATE_PATH_PATH_TEXT_H_
