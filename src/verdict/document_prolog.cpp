#include "verdict/document_prolog.h"

#include <string>

namespace {

// The markup of `head` as one byte a character: UTF-16 text (told by its
// byte order mark, or by a zero byte beside the first '<') keeps the byte
// that is not zero of each ASCII character; anything else stays as it is.
// Markup is ASCII, so this is enough to read the prolog's structure.
std::string asciiView(std::string_view head) {
  auto starts = [&](std::string_view prefix) { return head.substr(0, prefix.size()) == prefix; };
  if (starts("\xEF\xBB\xBF"))
    return std::string(head.substr(3));
  int low = -1;  // which byte of a UTF-16 unit holds the character
  if (starts("\xFF\xFE")) {
    low = 0;
    head.remove_prefix(2);
  } else if (starts("\xFE\xFF")) {
    low = 1;
    head.remove_prefix(2);
  } else if (head.size() >= 2 && head[0] == '<' && head[1] == '\0') {
    low = 0;
  } else if (head.size() >= 2 && head[0] == '\0' && head[1] == '<') {
    low = 1;
  }
  if (low < 0)
    return std::string(head);
  std::string text;
  for (size_t i = 0; i + 1 < head.size(); i += 2) {
    const char c = head[i + low], other = head[i + 1 - low];
    text += other == '\0' ? c : '\x7F';  // not ASCII: no markup character
  }
  return text;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

PrologKind scanProlog(std::string_view head, bool whole) {
  const std::string text = asciiView(head);
  size_t at = 0;
  for (;;) {
    while (at < text.size() && isSpace(text[at]))
      ++at;
    if (at == text.size())
      return whole && text.find_first_not_of(" \t\r\n") == std::string::npos ? PrologKind::kEmpty
                                                               : PrologKind::kOther;
    std::string_view rest = std::string_view(text).substr(at);
    std::string_view close;
    if (rest.substr(0, 2) == "<?")
      close = "?>";
    else if (rest.substr(0, 4) == "<!--")
      close = "-->";
    else
      return rest.substr(0, 9) == "<!DOCTYPE" ? PrologKind::kDoctype : PrologKind::kOther;
    const size_t end = rest.find(close, 2);
    if (end == std::string_view::npos)
      return PrologKind::kOther;
    at += end + close.size();
  }
}
