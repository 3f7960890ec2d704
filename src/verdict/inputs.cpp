#include "verdict/inputs.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "host/utf8.h"
#include "verdict/host_files.h"

namespace fs = std::filesystem;

namespace {

std::u16string lowered(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z')
      c = static_cast<char16_t>(c - u'A' + u'a');
  return text;
}

bool hasXmlExtension(const std::u16string& name) {
  return name.size() > 4 && lowered(name.substr(name.size() - 4)) == u".xml";
}

// The first bytes of the file at `path`; empty when it cannot be read.
std::string headOf(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::string head(4096, '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(file.gcount()));
  return head;
}

// Whether `name` (in a folder whose *.xml names are `siblings`) is the
// name xslvalidate gives a report of a sibling under one of `stems`.
bool isDerivedReportName(const std::u16string& name, const std::set<std::u16string>& siblings,
                         const std::vector<std::u16string>& stems) {
  const std::u16string extension = name.substr(name.size() - 4);
  const std::u16string stem = name.substr(0, name.size() - 4);
  for (const std::u16string& ruleStem : stems) {
    const std::u16string tail = u"_" + ruleStem;
    if (stem.size() > tail.size() && stem.ends_with(tail) &&
        siblings.count(stem.substr(0, stem.size() - tail.size()) + extension))
      return true;
  }
  return false;
}

// The *.xml documents under `root`, sorted, without reports; false with
// `error` set when a folder cannot be read.
bool walkFolder(const fs::path& root, const std::vector<std::u16string>& stems,
                const std::vector<fs::path>& skip, std::vector<InputDocument>* found,
                std::string* error) {
  std::error_code code;
  std::vector<std::pair<std::u16string, fs::path>> candidates;  // relative, full
  fs::recursive_directory_iterator it(root, code), end;
  for (; !code && it != end; it.increment(code)) {
    if (it->is_directory(code)) {
      for (const fs::path& folder : skip)
        if (fs::equivalent(it->path(), folder, code))
          it.disable_recursion_pending();
      code.clear();
      continue;
    }
    if (!it->is_regular_file(code) || !hasXmlExtension(fromFsPath(it->path().filename())))
      continue;
    candidates.emplace_back(fromFsPath(it->path().lexically_relative(root)), it->path());
  }
  if (code) {
    *error = "cannot read the folder " + toUtf8(fromFsPath(root)).value_or("?") + ": " +
             code.message();
    return false;
  }
  std::sort(candidates.begin(), candidates.end());
  // Names per folder, to know a report by the document it was named after.
  std::map<fs::path, std::set<std::u16string>> namesIn;
  for (const auto& [relative, full] : candidates)
    namesIn[full.parent_path()].insert(fromFsPath(full.filename()));
  for (const auto& [relative, full] : candidates) {
    const std::u16string name = fromFsPath(full.filename());
    if (isDerivedReportName(name, namesIn[full.parent_path()], stems) || looksLikeSvrlReport(headOf(full)))
      continue;
    InputDocument document;
    document.path = fromFsPath(full);
    document.subfolder = fromFsPath(fsPath(relative).parent_path());
    document.fromFolder = true;
    found->push_back(std::move(document));
  }
  return true;
}

}  // namespace

bool looksLikeSvrlReport(std::string_view head) {
  size_t at = 0;
  if (head.substr(0, 3) == "\xEF\xBB\xBF")
    at = 3;
  // Skip the declaration, processing instructions, comments and the
  // document type, up to the root element's start tag.
  for (;;) {
    at = head.find('<', at);
    if (at == std::string_view::npos || at + 1 >= head.size())
      return false;
    const char next = head[at + 1];
    if (next == '?') {
      at = head.find("?>", at);
    } else if (head.substr(at, 4) == "<!--") {
      at = head.find("-->", at);
    } else if (next == '!') {
      at = head.find('>', at);
    } else {
      break;
    }
    if (at == std::string_view::npos)
      return false;
  }
  const size_t close = head.find('>', at);
  if (close == std::string_view::npos)
    return false;
  const std::string_view tag = head.substr(at + 1, close - at - 1);
  const size_t nameEnd = tag.find_first_of(" \t\r\n/");
  std::string_view name = tag.substr(0, nameEnd);
  std::string prefix;
  if (size_t colon = name.find(':'); colon != std::string_view::npos) {
    prefix = std::string(name.substr(0, colon));
    name = name.substr(colon + 1);
  }
  if (name != "schematron-output")
    return false;
  const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
  for (char quote : {'"', '\''}) {
    for (const char* equals : {"=", " = ", "= ", " ="}) {
      const std::string wanted = declaration + equals + quote +
                                 "http://purl.oclc.org/dsdl/svrl" + quote;
      if (tag.find(wanted) != std::string_view::npos)
        return true;
    }
  }
  return false;
}

InputSet collectInputs(const std::vector<std::u16string>& operands,
                       const std::vector<std::u16string>& reportStems,
                       const std::vector<std::u16string>& skipFolders) {
  InputSet set;
  std::vector<fs::path> skip;
  for (const std::u16string& folder : skipFolders)
    skip.push_back(fsPath(folder));
  std::set<fs::path> seen;
  for (const std::u16string& operand : operands) {
    const fs::path path = fsPath(operand);
    std::error_code code;
    const fs::file_status status = fs::status(path, code);
    std::vector<InputDocument> found;
    if (fs::is_directory(status)) {
      if (!walkFolder(path, reportStems, skip, &found, &set.error))
        return set;
    } else if (fs::exists(status)) {
      found.push_back(InputDocument{operand, u"", false});
    } else {
      set.error = "document does not exist: " + toUtf8(operand).value_or("?");
      return set;
    }
    for (InputDocument& document : found) {
      const fs::path key = fs::weakly_canonical(fsPath(document.path), code);
      if (seen.insert(code ? fsPath(document.path) : key).second)
        set.documents.push_back(std::move(document));
    }
  }
  return set;
}

std::optional<Shard> parseShard(std::string_view text) {
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos)
    return std::nullopt;
  Shard shard;
  auto number = [](std::string_view digits, size_t* value) {
    if (digits.empty())
      return false;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), *value);
    return error == std::errc() && end == digits.data() + digits.size();
  };
  if (!number(text.substr(0, slash), &shard.index) ||
      !number(text.substr(slash + 1), &shard.count) || shard.count == 0 ||
      shard.count > kMaxShards || shard.index >= shard.count)
    return std::nullopt;
  return shard;
}

std::vector<InputDocument> shardOf(const std::vector<InputDocument>& all, Shard shard) {
  // Stepped without adding past the end: no count wraps the position.
  std::vector<InputDocument> slice;
  for (size_t i = shard.index; i < all.size(); i += shard.count) {
    slice.push_back(all[i]);
    if (all.size() - i <= shard.count)
      break;
  }
  return slice;
}

std::u16string reportFolderOf(const InputDocument& document, std::u16string_view reportDir) {
  if (reportDir.empty())
    return std::u16string();
  if (document.subfolder.empty())
    return std::u16string(reportDir);
  return inFolder(reportDir, document.subfolder);
}

std::string reportClash(const std::vector<InputDocument>& documents,
                        std::u16string_view reportDir) {
  if (reportDir.empty())
    return std::string();
  std::vector<std::pair<std::u16string, size_t>> places;
  for (size_t i = 0; i < documents.size(); ++i) {
    places.emplace_back(lowered(inFolder(reportFolderOf(documents[i], reportDir),
                                         fromFsPath(fsPath(documents[i].path).filename()))),
                        i);
  }
  std::sort(places.begin(), places.end());
  for (size_t i = 1; i < places.size(); ++i) {
    if (places[i].first == places[i - 1].first) {
      return toUtf8(documents[places[i - 1].second].path).value_or("?") + " and " +
             toUtf8(documents[places[i].second].path).value_or("?");
    }
  }
  return std::string();
}
