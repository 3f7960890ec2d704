// Small XML documents built as data and written by one writer, so that no
// text from outside (a configuration's XPath, prefix or URI) can become
// markup: names are checked, every value is escaped.
#ifndef XSLVALIDATE_VERDICT_XML_WRITER_H_
#define XSLVALIDATE_VERDICT_XML_WRITER_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// An element: its qualified name, namespace bindings (prefix, URI) made
// on it, attributes (qualified name, value), then its text and its
// children. Texts are UTF-8.
struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> namespaces;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;
  std::vector<XmlElement> children;
};

// True when `text` is an NCName of XML Namespaces 1.0 (a name without a
// colon, in XML 1.0's name characters), as a namespace prefix must be.
bool isNcName(std::string_view text);

// True when `text` holds only characters XML 1.0 can carry (no control
// character other than tab, line feed and carriage return, no U+FFFE or
// U+FFFF) as well-formed UTF-8.
bool isXmlText(std::string_view text);

// The document with `root` as its element, after an XML declaration, or
// no value when any name is not a QName, a prefix bound is not an NCName
// (or is one of the reserved "xml" and "xmlns"), a URI is empty, or a text,
// value or URI is not XML text (isXmlText). Texts and values (in double
// quotes) are escaped by markupText (markup.h), so they keep every
// character.
std::optional<std::string> writeXml(const XmlElement& root);

// A stylesheet whose one template, matching the document node, holds
// `body` and writes text: the form of every stylesheet the verdict makes
// from a configuration. Its XSLT elements are in the default namespace, so
// that no prefix of the configuration can clash with them. Empty text when
// writeXml refuses it.
std::string textStylesheet(XmlElement body);

#endif  // XSLVALIDATE_VERDICT_XML_WRITER_H_
