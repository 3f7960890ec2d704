// The schema step on Windows, whose engine runs transforms only: MSXML 6,
// part of every Windows since Vista, through COM. The schema files are
// compiled together into one schema cache, kept for the next document of
// the same call; the document is parsed with DTDs prohibited and
// validated against that cache alone (inline schemas and schema location
// hints are not used). MSXML stops at the first error, which is the one
// finding of an invalid document.
#include "verdict/schema_support.h"

#include <windows.h>

#include <msxml2.h>
#include <oleauto.h>

#include <cstdio>

#include "host/utf8.h"

namespace {

const char kNoValidator[] = "MSXML 6 is not available";

// The interfaces' identifiers, which mingw's import libraries lack.
const IID kIidDocument2 = {0x2933BF95, 0x7B36, 0x11d2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidSchemaCollection = {0x373984c8, 0xb845, 0x449b, {0x91, 0xe7, 0x45, 0xac, 0x83, 0x03, 0x6a, 0xde}};

// A COM interface pointer released when it goes.
template <class T>
struct Ref {
  T* p = nullptr;
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (p)
      p->Release();
  }
  T* operator->() const { return p; }
  void** out() { return reinterpret_cast<void**>(&p); }
};

// A BSTR freed when it goes.
struct Text {
  BSTR b = nullptr;
  Text() = default;
  explicit Text(std::u16string_view text)
      : b(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                            static_cast<UINT>(text.size()))) {}
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text() { SysFreeString(b); }
  std::string utf8() const {
    if (!b)
      return std::string();
    std::u16string text(reinterpret_cast<const char16_t*>(b), SysStringLen(b));
    return toUtf8(text).value_or(std::string());
  }
};

VARIANT stringVariant(BSTR text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text;  // still owned by its Text
  return v;
}

VARIANT boolVariant(bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

// What COM says of the last failure of the calling thread, or the code.
std::string failure(HRESULT hr) {
  Ref<IErrorInfo> info;
  Text description;
  if (GetErrorInfo(0, &info.p) == S_OK && info->GetDescription(&description.b) == S_OK) {
    std::string text = description.utf8();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
      text.pop_back();
    if (!text.empty())
      return text;
  }
  char code[32];
  std::snprintf(code, sizeof code, "error 0x%08lX", static_cast<unsigned long>(hr));
  return code;
}

bool createDocument(Ref<IXMLDOMDocument2>* document) {
  CLSID id;
  return SUCCEEDED(CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &id)) &&
         SUCCEEDED(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, kIidDocument2,
                                    document->out()));
}

// The absolute form of `path`, or `path` itself when it has none.
std::u16string absolute(const std::u16string& path) {
  wchar_t full[32768];
  const DWORD length =
      GetFullPathNameW(reinterpret_cast<const wchar_t*>(path.c_str()), 32768, full, nullptr);
  if (length == 0 || length >= 32768)
    return path;
  return std::u16string(reinterpret_cast<const char16_t*>(full), length);
}

// The target namespace of the schema at `path` into `*ns`; the reason it
// cannot be read otherwise. Schema files are trusted configuration, so a
// DTD in them is allowed (the UBL signature schema has one).
std::string targetNamespace(const std::u16string& path, Text* ns) {
  Ref<IXMLDOMDocument2> schema;
  if (!createDocument(&schema))
    return kNoValidator;
  schema->put_async(VARIANT_FALSE);
  schema->put_validateOnParse(VARIANT_FALSE);
  schema->put_resolveExternals(VARIANT_FALSE);
  schema->setProperty(Text(u"ProhibitDTD").b, boolVariant(false));
  Text location(path);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  const HRESULT hr = schema->load(stringVariant(location.b), &loaded);
  if (loaded != VARIANT_TRUE) {
    Ref<IXMLDOMParseError> error;
    Text reason;
    if (SUCCEEDED(schema->get_parseError(&error.p)) && error.p)
      error->get_reason(&reason.b);
    const std::string why = reason.utf8();
    return why.empty() ? failure(hr) : why;
  }
  Ref<IXMLDOMElement> root;
  if (FAILED(schema->get_documentElement(&root.p)) || !root.p)
    return "it has no root element";
  VARIANT value;
  VariantInit(&value);
  if (root->getAttribute(Text(u"targetNamespace").b, &value) == S_OK && value.vt == VT_BSTR) {
    ns->b = value.bstrVal;  // taken over
    return std::string();
  }
  VariantClear(&value);
  ns->b = SysAllocString(L"");
  return std::string();
}

// The schema cache of the last schema set asked for; the call checks its
// documents against one set, so it is compiled once.
struct CachedSet {
  std::vector<std::u16string> schemas;
  IXMLDOMSchemaCollection* cache = nullptr;
};
CachedSet gLast;

// A schema cache holding `schemas`, or the reason there is none.
std::string schemaCache(const std::vector<std::u16string>& schemas,
                        IXMLDOMSchemaCollection** made) {
  if (gLast.cache && gLast.schemas == schemas) {
    *made = gLast.cache;
    return std::string();
  }
  CLSID id;
  Ref<IXMLDOMSchemaCollection> cache;
  if (FAILED(CLSIDFromProgID(L"Msxml2.XMLSchemaCache.6.0", &id)) ||
      FAILED(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, kIidSchemaCollection,
                              cache.out())))
    return kNoValidator;
  for (const std::u16string& given : schemas) {
    const std::u16string path = absolute(given);
    Text ns;
    std::string why = targetNamespace(path, &ns);
    if (!why.empty())
      return "the XML Schema " + toUtf8(given).value_or("") + " could not be read: " + why;
    // Some implementations of the validator resolve a schema's relative
    // imports against the current folder rather than the schema's own, so
    // the schema's folder is made current while it is added.
    wchar_t before[32768];
    const DWORD kept = GetCurrentDirectoryW(32768, before);
    const std::u16string folder = path.substr(0, path.find_last_of(u"\\/") + 1);
    SetCurrentDirectoryW(reinterpret_cast<const wchar_t*>(folder.c_str()));
    Text location(path);
    const HRESULT hr = cache->add(ns.b, stringVariant(location.b));
    if (kept > 0 && kept < 32768)
      SetCurrentDirectoryW(before);
    if (FAILED(hr))
      return "the XML Schema " + toUtf8(given).value_or("") + " could not be compiled: " +
             failure(hr);
  }
  if (gLast.cache)
    gLast.cache->Release();
  gLast.schemas = schemas;
  gLast.cache = cache.p;
  cache.p = nullptr;
  *made = gLast.cache;
  return std::string();
}

// One finding from a parse or validation error: a malformed document
// (MSXML's XML_E_* codes) is fatal, anything else an error.
FindingRecord findingOf(IXMLDOMParseError* error) {
  long code = 0, line = 0, column = 0;
  Text reason;
  error->get_errorCode(&code);
  error->get_line(&line);
  error->get_linepos(&column);
  error->get_reason(&reason.b);
  FindingRecord finding;
  finding.kind = "schema";
  const bool malformed = (static_cast<unsigned long>(code) & 0xFFFFFF00ul) == 0xC00CE500ul;
  finding.severity = malformed ? "fatal" : "error";
  finding.flag = finding.severity;
  finding.line = line > 0 ? line : 0;
  finding.column = column > 0 ? column : 0;
  std::string text = reason.utf8();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  if (text.empty()) {
    char detail[128];
    std::snprintf(detail, sizeof detail,
                  "the document is not valid against the XML Schemas (validator code "
                  "0x%08lX, no further detail given)",
                  static_cast<unsigned long>(code));
    text = detail;
  }
  finding.text = text;
  return finding;
}

}  // namespace

bool hostHasOwnSchemaValidator() { return true; }

void validateWithHostSchemas(std::u16string_view document,
                             const std::vector<std::u16string>& schemas,
                             SchemaRecord* record) {
  // Once per process; the kept schema cache lives as long.
  static const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(com) && com != RPC_E_CHANGED_MODE) {
    record->state = SchemaState::kFailed;
    record->problem = "COM could not be started for the XML Schema validator: " + failure(com);
    return;
  }
  IXMLDOMSchemaCollection* cache = nullptr;
  std::string why = schemaCache(schemas, &cache);
  Ref<IXMLDOMDocument2> doc;
  if (why.empty() && !createDocument(&doc))
    why = kNoValidator;
  if (why == kNoValidator) {
    record->state = SchemaState::kUnsupported;
    record->problem = "this host cannot validate XML Schemas: " + why;
    return;
  }
  if (!why.empty()) {
    record->state = SchemaState::kFailed;
    record->problem = why;
    return;
  }
  // The document comes from outside: no DTD, no external resources, no
  // schema but the ones given.
  doc->put_async(VARIANT_FALSE);
  doc->put_resolveExternals(VARIANT_FALSE);
  doc->put_validateOnParse(VARIANT_TRUE);
  doc->setProperty(Text(u"ProhibitDTD").b, boolVariant(true));
  doc->setProperty(Text(u"UseInlineSchema").b, boolVariant(false));
  VARIANT set;
  VariantInit(&set);
  set.vt = VT_DISPATCH;
  set.pdispVal = cache;
  doc->putref_schemas(set);
  Text location{std::u16string(document)};
  VARIANT_BOOL loaded = VARIANT_FALSE;
  const HRESULT hr = doc->load(stringVariant(location.b), &loaded);
  Ref<IXMLDOMParseError> error;
  if (loaded != VARIANT_TRUE) {
    if (FAILED(doc->get_parseError(&error.p)) || !error.p) {
      record->state = SchemaState::kFailed;
      record->problem = "the document could not be read: " + failure(hr);
      return;
    }
    record->findings.push_back(findingOf(error.p));
    record->state = SchemaState::kInvalid;
    return;
  }
  // Validated again after the load: some implementations of the
  // validator do not validate while they parse.
  const HRESULT checked = doc->validate(&error.p);
  if (checked == S_OK) {
    record->state = SchemaState::kValid;
    return;
  }
  if (checked == S_FALSE && error.p) {
    record->findings.push_back(findingOf(error.p));
    record->state = SchemaState::kInvalid;
    return;
  }
  record->state = SchemaState::kFailed;
  record->problem = "the XML Schema validator failed: " + failure(checked);
}
