#include "verdict/summary_line.h"

#include <vector>

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Undoes the field escapes; false on a backslash not followed by one of
// \ t n r.
bool unescape(std::string_view field, std::string* out) {
  out->clear();
  for (size_t i = 0; i < field.size(); ++i) {
    char c = field[i];
    if (c != '\\') {
      *out += c;
      continue;
    }
    if (++i == field.size())
      return false;
    switch (field[i]) {
      case '\\': *out += '\\'; break;
      case 't': *out += '\t'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      default: return false;
    }
  }
  return true;
}

bool unescapeAttribute(std::string_view field, std::optional<std::string>* out) {
  if (field == "\\-") {
    out->reset();
    return true;
  }
  std::string value;
  if (!unescape(field, &value))
    return false;
  *out = std::move(value);
  return true;
}

std::vector<std::string_view> splitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string_view::npos)
      return fields;
    start = tab + 1;
  }
}

}  // namespace

bool parseSummaryHead(std::string_view line, SummaryHead* head) {
  if (line == "svrl") {
    *head = SummaryHead{true, ""};
    return true;
  }
  std::vector<std::string_view> fields = splitTabs(line);
  if (fields.size() != 2 || fields[0] != "not-svrl")
    return false;
  head->svrl = false;
  return unescape(fields[1], &head->rootName);
}

bool parseFindingLine(std::string_view line, Finding* finding) {
  std::vector<std::string_view> fields = splitTabs(line);
  if (fields.size() != 5 ||
      (fields[0] != "failed-assert" && fields[0] != "successful-report"))
    return false;
  finding->kind = fields[0];
  return unescapeAttribute(fields[1], &finding->id) &&
         unescapeAttribute(fields[2], &finding->flag) &&
         unescapeAttribute(fields[3], &finding->location) &&
         unescape(fields[4], &finding->text);
}

std::string severityOf(const Finding& finding) {
  if (!finding.flag || finding.flag->empty())
    return "error";
  std::string severity = *finding.flag;
  for (char& c : severity)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return severity;
}

bool rejects(std::string_view severity, bool warningsAsErrors) {
  return severity == "fatal" || severity == "error" ||
         (warningsAsErrors && severity == "warning");
}

std::string oneLine(std::string_view text) {
  std::string line;
  bool pendingSpace = false;
  for (char c : text) {
    if (isSpace(c)) {
      pendingSpace = !line.empty();
      continue;
    }
    if (pendingSpace)
      line += ' ';
    pendingSpace = false;
    line += c;
  }
  return line;
}

std::string trimmed(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && isSpace(text[begin]))
    ++begin;
  while (end > begin && isSpace(text[end - 1]))
    --end;
  return std::string(text.substr(begin, end - begin));
}
