#include "verdict/resource_location.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "path/path_text.h"
#include "text/utf8_decode.h"
#include "verdict/host_files.h"
#include "verdict/shown.h"
#include "verdict/summary_line.h"

namespace {

int hexDigit(char c) {
  return c >= '0' && c <= '9'   ? c - '0'
         : c >= 'a' && c <= 'f' ? c - 'a' + 10
         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                : -1;
}

// `location` with its %XX escapes undone.
std::string percentDecoded(std::string_view location) {
  std::string decoded;
  for (size_t i = 0; i < location.size(); ++i) {
    if (location[i] == '%' && i + 2 < location.size() &&
        hexDigit(location[i + 1]) >= 0 && hexDigit(location[i + 2]) >= 0) {
      decoded += static_cast<char>(hexDigit(location[i + 1]) * 16 + hexDigit(location[i + 2]));
      i += 2;
    } else {
      decoded += location[i];
    }
  }
  return decoded;
}

// Why `decoded` cannot be a file name from a configuration, or empty text.
std::string badCharacter(std::string_view decoded) {
  for (size_t i = 0; i < decoded.size();) {
    char32_t c;
    const size_t length = decodeUtf8Sequence(decoded.substr(i), &c);
    if (length == 0)
      return "it holds bytes that are not UTF-8";
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
      return std::string("it holds the control character ") + code;
    }
    i += length;
  }
  return std::string();
}

// True when `inner` is `outer` or lies below it; both absolute and free
// of "." and "..".
bool within(const std::filesystem::path& outer, const std::filesystem::path& inner) {
  auto [end, ignored] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  return end == outer.end();
}

}  // namespace

ResolvedLocation resolveLocation(std::u16string_view repository, std::string_view location) {
  ResolvedLocation resolved;
  const std::string decoded = percentDecoded(location);
  resolved.refused = badCharacter(decoded);
  if (!resolved.refused.empty())
    return resolved;
  const std::u16string relative = fromUtf8(decoded);
  PathText text{hostGrammar()};
  const bool absolute =
      text.rootNameEnd(relative) > 0 ||
      (!relative.empty() && (relative[0] == u'/' || (hostGrammar() == PathGrammar::Windows &&
                                                     relative[0] == u'\\')));
  const std::string denied = "access denied: it leads outside the repository " +
                             visible(shown(repository));
  if (absolute) {
    resolved.refused = "access denied: it is an absolute path, and every resource must lie "
                       "in the repository " + visible(shown(repository));
    return resolved;
  }
  const std::filesystem::path lexical = fsPath(relative).lexically_normal();
  if (!lexical.empty() && *lexical.begin() == "..") {
    resolved.refused = denied;
    return resolved;
  }
  resolved.path = repository.empty() ? relative : text.join(repository, relative);
  // Links are followed as the engine would follow them: the file they
  // lead to must lie in the repository too.
  std::error_code error;
  const std::filesystem::path top =
      std::filesystem::canonical(fsPath(repository.empty() ? u"." : repository), error);
  if (error)
    return resolved;
  const std::filesystem::path target =
      std::filesystem::weakly_canonical(fsPath(resolved.path), error);
  if (!error && !within(top, target))
    resolved.refused = denied;
  return resolved;
}
