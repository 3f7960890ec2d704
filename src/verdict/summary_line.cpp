#include "verdict/summary_line.h"

#include <cstdio>
#include <vector>

#include "text/utf8_decode.h"

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

// Unicode's White_Space characters.
bool isUnicodeSpace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 ||
         c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// True for what a terminal may act on rather than show: C0 controls, DEL,
// C1 controls and the line and paragraph separators.
bool isControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// Reads a non-negative decimal number of at most 18 digits; an empty
// field reads as 0 when `emptyIsZero`.
bool parseCount(std::string_view field, bool emptyIsZero, long long* out) {
  if (field.empty() ? !emptyIsZero : field.size() > 18)
    return false;
  long long value = 0;
  for (char c : field) {
    if (c < '0' || c > '9')
      return false;
    value = value * 10 + (c - '0');
  }
  *out = value;
  return true;
}

}  // namespace

bool parseSummaryHead(std::string_view line, SummaryHead* head) {
  std::vector<std::string_view> fields = splitTabs(line);
  if (fields.size() < 2 || (fields.size() > 2 && fields[0] != "not-svrl"))
    return false;
  *head = SummaryHead();
  if (fields[0] == "svrl") {
    head->svrl = true;
    return parseCount(fields[1], false, &head->firedRules);
  }
  if (fields[0] == "schema-report") {
    head->schemaReport = true;
    head->valid = fields[1] == "true";
    return fields[1] == "true" || fields[1] == "false";
  }
  if (fields[0] != "not-svrl")
    return false;
  for (size_t i = 2; i < fields.size(); ++i) {
    head->namespaces.emplace_back();
    if (!unescape(fields[i], &head->namespaces.back()))
      return false;
  }
  return unescape(fields[1], &head->rootName);
}

bool splitFields(std::string_view line, std::vector<std::string>* fields) {
  fields->clear();
  for (std::string_view field : splitTabs(line)) {
    fields->emplace_back();
    if (!unescape(field, &fields->back()))
      return false;
  }
  return true;
}

bool parseSchemaFindingLine(std::string_view line, SchemaFinding* finding) {
  std::vector<std::string_view> fields = splitTabs(line);
  std::string number;
  return fields.size() == 5 && fields[0] == "schema" &&
         unescape(fields[1], &finding->severity) &&
         unescape(fields[2], &number) &&
         parseCount(number, true, &finding->line) &&
         unescape(fields[3], &number) &&
         parseCount(number, true, &finding->column) &&
         unescape(fields[4], &finding->text);
}

bool parseFindingLine(std::string_view line, Finding* finding) {
  std::vector<std::string_view> fields = splitTabs(line);
  if (fields.size() != 6 ||
      (fields[0] != "failed-assert" && fields[0] != "successful-report"))
    return false;
  finding->kind = fields[0];
  return unescapeAttribute(fields[1], &finding->id) &&
         unescapeAttribute(fields[2], &finding->flag) &&
         unescapeAttribute(fields[3], &finding->location) &&
         unescapeAttribute(fields[4], &finding->test) &&
         unescape(fields[5], &finding->text);
}

std::string normalizedFlag(std::string_view flag) {
  // Drop white space at the front, then at the back, one code point at a
  // time; a byte that is not UTF-8 ends the trimming.
  size_t begin = 0;
  while (begin < flag.size()) {
    char32_t code;
    size_t length = decodeUtf8Sequence(flag.substr(begin), &code);
    if (length == 0 || !isUnicodeSpace(code))
      break;
    begin += length;
  }
  size_t end = begin;  // end of the last character that is not white space
  for (size_t i = begin; i < flag.size();) {
    char32_t code;
    size_t length = decodeUtf8Sequence(flag.substr(i), &code);
    if (length == 0)
      length = 1;
    else if (isUnicodeSpace(code)) {
      i += length;
      continue;
    }
    i += length;
    end = i;
  }
  std::string normalized(flag.substr(begin, end - begin));
  for (char& c : normalized)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return normalized;
}

bool knownSeverity(std::string_view severity) {
  return severity == "fatal" || severity == "error" || severity == "warning" ||
         severity == "information";
}

std::string severityOf(const Finding& finding) {
  if (!finding.flag)
    return "error";
  std::string severity = normalizedFlag(*finding.flag);
  return knownSeverity(severity) ? severity : "error";
}

bool rejects(std::string_view severity, bool warningsAsErrors) {
  return severity == "fatal" || severity == "error" ||
         (warningsAsErrors && severity == "warning");
}

std::string visible(std::string_view text) {
  std::string out;
  char escape[11];
  for (size_t i = 0; i < text.size();) {
    char32_t c;
    size_t length = decodeUtf8Sequence(text.substr(i), &c);
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\x%02X",
                    static_cast<unsigned char>(text[i]));
      out += escape;
      ++i;
      continue;
    }
    if (!isControl(c)) {
      out.append(text.substr(i, length));
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x80) {
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
      out += escape;
    } else {
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      out += escape;
    }
    i += length;
  }
  return out;
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
  return visible(line);
}

std::string trimmed(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && isSpace(text[begin]))
    ++begin;
  while (end > begin && isSpace(text[end - 1]))
    --end;
  return std::string(text.substr(begin, end - begin));
}
