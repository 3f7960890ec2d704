// Path grammar over UTF-16 path text.
//
// A path splits into a root name, a root directory (the slashes after it),
// a relative path, and in that the file name after the last slash; the file
// name splits into stem, extension and, under the Windows grammar, a stream
// suffix. The POSIX grammar is the same algorithm with "/" as the only
// separator, no root names (so no drive designators, network names or
// prefixes) and no stream suffix.
#include "path/path_text.h"

namespace {

bool isLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool isSlash(PathGrammar grammar, char16_t c) {
  if (grammar == PathGrammar::Posix) return c == u'/';
  return c == u'/' || c == u'\\';
}

// The end of the root name under the Windows grammar: "C:" (a drive), the
// prefixes "\\?\", "\\.\" and "\??\", or "\\server" (a network name).
size_t windowsRootNameEnd(std::u16string_view p) {
  const size_t n = p.size();
  auto slash = [&](size_t i) { return isSlash(PathGrammar::Windows, p[i]); };
  if (n < 2) return 0;
  if (isLetter(p[0]) && p[1] == u':') return 2;  // a drive
  if (!slash(0)) return 0;
  // A prefix: three characters and a single slash after them. "\\?\" and
  // "\\.\" would also be read as network names of the same length below;
  // naming them here keeps every prefix in one place.
  if (n >= 4 && slash(3) && (n == 4 || !slash(4))) {
    if (slash(1) && (p[2] == u'?' || p[2] == u'.')) return 3;
    if (p[1] == u'?' && p[2] == u'?') return 3;
  }
  // A network name: two slashes, then a name up to the next slash.
  if (n < 3) return 0;
  if (!slash(1) || slash(2)) return 0;
  for (size_t i = 3; i < n; ++i) {
    if (slash(i)) return i;
  }
  return n;
}

// The start of the relative path: after the root name and the slashes of
// the root directory.
size_t relativeStart(const PathText& g, std::u16string_view p) {
  size_t i = g.rootNameEnd(p);
  while (i < p.size() && isSlash(g.grammar, p[i])) ++i;
  return i;
}

// The end of the file name's name part: where a stream suffix (":stream",
// Windows grammar only) starts, else the end of the text.
size_t namePartEnd(PathGrammar grammar, std::u16string_view p, size_t f) {
  if (grammar == PathGrammar::Posix) return p.size();
  const size_t colon = p.find(u':', f);
  return colon == std::u16string_view::npos ? p.size() : colon;
}

// The start of the extension within the name part [f, a): the last dot
// that is not the name's first character, or `a` when there is none. A name
// of one character, and "..", have no extension; a trailing dot is an
// extension of its own.
size_t extensionStart(std::u16string_view p, size_t f, size_t a) {
  if (a - f <= 1) return a;
  if (p[a - 1] == u'.') {
    if (a - f == 2 && p[f] == u'.') return a;  // exactly ".."
    return a - 1;
  }
  for (size_t i = a - 2; i > f; --i) {
    if (p[i] == u'.') return i;
  }
  return a;
}

}  // namespace

size_t PathText::rootNameEnd(std::u16string_view path) const {
  if (grammar == PathGrammar::Posix) return 0;
  return windowsRootNameEnd(path);
}

size_t PathText::filenameStart(std::u16string_view path) const {
  const size_t n = path.size();
  const size_t rel = relativeStart(*this, path);
  if (rel == n) return n;  // empty relative path: empty file name
  for (size_t i = n; i > rel; --i) {
    if (isSlash(grammar, path[i - 1])) return i;
  }
  return rel;
}

Stretch PathText::stem(std::u16string_view path) const {
  const size_t f = filenameStart(path);
  const size_t a = namePartEnd(grammar, path, f);
  return {f, extensionStart(path, f, a)};
}

Stretch PathText::extension(std::u16string_view path) const {
  const size_t f = filenameStart(path);
  const size_t a = namePartEnd(grammar, path, f);
  return {extensionStart(path, f, a), a};
}

Stretch PathText::parentPath(std::u16string_view path) const {
  const size_t n = path.size();
  const size_t rel = relativeStart(*this, path);
  // All root, or an empty relative path: the whole text (the scan below
  // would give the same; the early return states the case plainly).
  if (rel == n) return {0, n};
  size_t last = n;  // the last slash at or after `rel`
  for (size_t i = n; i > rel; --i) {
    if (isSlash(grammar, path[i - 1])) {
      last = i - 1;
      break;
    }
  }
  if (last == n) return {0, rel};  // no slash in the relative path
  // Drop the slash and the slashes before it, never going below `rel`.
  size_t end = last;
  while (end > rel && isSlash(grammar, path[end - 1])) --end;
  return {0, end};
}

std::u16string PathText::join(std::u16string_view directory,
                              std::u16string_view name) const {
  std::u16string result(directory);
  if (directory.empty()) return std::u16string(name);
  // "C:name" names a file in the drive's current folder, so a bare drive
  // gets no separator; nor does a directory that already ends in one.
  const bool driveOnly = grammar == PathGrammar::Windows &&
                         directory.size() == 2 && isLetter(directory[0]) &&
                         directory[1] == u':';
  const bool endsInSlash = isSlash(grammar, directory.back());
  if (!driveOnly && !endsInSlash) {
    result += grammar == PathGrammar::Windows ? u'\\' : u'/';
  }
  result += name;
  return result;
}
