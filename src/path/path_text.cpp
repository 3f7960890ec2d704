// Path grammar over UTF-16 path text.
//
// The Windows grammar is written as a sequence of numbered steps, each
// commented with its number below; the
// POSIX grammar is the same algorithm with "/" as the only separator, no
// root names (so no drive designators and no network names or prefixes) and
// no alternate-stream suffix.
#include "path/path_text.h"

namespace {

bool isLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool isSlash(PathGrammar grammar, char16_t c) {
  if (grammar == PathGrammar::Posix) return c == u'/';
  return c == u'/' || c == u'\\';
}

// Step 1: the end of the root name, Windows grammar.
size_t windowsRootNameEnd(std::u16string_view p) {
  const size_t n = p.size();
  auto slash = [&](size_t i) { return isSlash(PathGrammar::Windows, p[i]); };
  if (n < 2) return 0;                                    // 1.1
  if (isLetter(p[0]) && p[1] == u':') return 2;           // 1.2
  if (!slash(0)) return 0;                                // 1.3
  if (n >= 4 && slash(3) && (n == 4 || !slash(4))) {      // 1.4
    // Prefixes "\\?\" and "\\.\" (step 1.7 would give 3 for these as
    // well; the check is kept so that each prefix is named where it is met), then "\??\".
    if (slash(1) && (p[2] == u'?' || p[2] == u'.')) return 3;
    if (p[1] == u'?' && p[2] == u'?') return 3;
  }
  if (n < 3) return 0;                                    // 1.5
  if (!slash(1) || slash(2)) return 0;                    // 1.6
  for (size_t i = 3; i < n; ++i) {                        // 1.7
    if (slash(i)) return i;
  }
  return n;
}

// Step 2: the start of the relative path (after the root directory).
size_t relativeStart(const PathText& g, std::u16string_view p) {
  size_t i = g.rootNameEnd(p);
  while (i < p.size() && isSlash(g.grammar, p[i])) ++i;
  return i;
}

// Step 4: the end of the name part (the start of a stream suffix, or n).
size_t namePartEnd(PathGrammar grammar, std::u16string_view p, size_t f) {
  if (grammar == PathGrammar::Posix) return p.size();
  const size_t colon = p.find(u':', f);
  return colon == std::u16string_view::npos ? p.size() : colon;
}

// Step 5: the start of the extension within the name part [f, a).
size_t extensionStart(std::u16string_view p, size_t f, size_t a) {
  if (a - f <= 1) return a;                               // 5.1
  if (p[a - 1] == u'.') {                                 // 5.2
    if (a - f == 2 && p[f] == u'.') return a;             // exactly ".."
    return a - 1;
  }
  for (size_t i = a - 2; i > f; --i) {                    // 5.3
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
  // 7.1: all root, or empty relative path (the scan below would give the
  // same result; the early return states the case plainly).
  if (rel == n) return {0, n};
  size_t last = n;              // 7.2: last slash at or after `rel`
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
  if (directory.empty()) return std::u16string(name);           // 8.1
  const bool driveOnly = grammar == PathGrammar::Windows &&
                         directory.size() == 2 && isLetter(directory[0]) &&
                         directory[1] == u':';                   // 8.2
  const bool endsInSlash = isSlash(grammar, directory.back());   // 8.3
  if (!driveOnly && !endsInSlash) {                              // 8.4
    result += grammar == PathGrammar::Windows ? u'\\' : u'/';
  }
  result += name;
  return result;
}
