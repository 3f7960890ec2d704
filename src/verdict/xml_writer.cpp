#include "verdict/xml_writer.h"

#include "text/utf8_decode.h"
#include "verdict/markup.h"

namespace {

bool nameStart(char32_t c) {
  return (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') ||
         (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
         (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0xEFFFF);
}

bool nameRest(char32_t c) {
  return nameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// A qualified name: an NCName, or two joined by one colon.
bool isQName(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos)
    return isNcName(text);
  return isNcName(text.substr(0, colon)) && isNcName(text.substr(colon + 1));
}

bool write(const XmlElement& element, const std::string& indent, std::string* out) {
  if (!isQName(element.name) || !isXmlText(element.text))
    return false;
  *out += indent + "<" + element.name;
  for (const auto& [prefix, uri] : element.namespaces) {
    if (!isNcName(prefix) || prefix == "xml" || prefix == "xmlns" || uri.empty() ||
        !isXmlText(uri))
      return false;
    *out += " xmlns:" + prefix + "=\"" + markupText(uri) + "\"";
  }
  for (const auto& [name, value] : element.attributes) {
    if (!isQName(name) || !isXmlText(value))
      return false;
    *out += " " + name + "=\"" + markupText(value) + "\"";
  }
  if (element.text.empty() && element.children.empty()) {
    *out += "/>\n";
    return true;
  }
  *out += ">" + markupText(element.text);
  if (!element.children.empty()) {
    *out += "\n";
    for (const XmlElement& child : element.children)
      if (!write(child, indent + "  ", out))
        return false;
    *out += indent;
  }
  *out += "</" + element.name + ">\n";
  return true;
}

}  // namespace

bool isNcName(std::string_view text) {
  bool first = true;
  for (size_t i = 0; i < text.size();) {
    char32_t c;
    const size_t length = decodeUtf8Sequence(text.substr(i), &c);
    if (length == 0 || !(first ? nameStart(c) : nameRest(c)))
      return false;
    first = false;
    i += length;
  }
  return !first;
}

bool isXmlText(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    char32_t c;
    const size_t length = decodeUtf8Sequence(text.substr(i), &c);
    if (length == 0 || (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE ||
        c == 0xFFFF)
      return false;
    i += length;
  }
  return true;
}

std::optional<std::string> writeXml(const XmlElement& root) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  if (!write(root, "", &out))
    return std::nullopt;
  return out;
}

std::string textStylesheet(XmlElement body) {
  XmlElement stylesheet{
      "stylesheet",
      {},
      {{"xmlns", "http://www.w3.org/1999/XSL/Transform"}, {"version", "3.0"}},
      "",
      {XmlElement{"output", {}, {{"method", "text"}}, "", {}},
       XmlElement{"template", {}, {{"match", "/"}}, "", {std::move(body)}}}};
  return writeXml(stylesheet).value_or(std::string());
}
