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

bool hasXmlExtension(const std::u16string& name) {
  return name.size() > 4 && asciiLowered(name.substr(name.size() - 4)) == u".xml";
}

// The first bytes of the file at `path`; empty when it cannot be read.
std::string headOf(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::string head(4096, '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(file.gcount()));
  return head;
}

// The *.xml documents under `root`, sorted, without reports; false with
// `error` set when a folder cannot be read.
bool walkFolder(const fs::path& root, const std::u16string& under,
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
  for (const auto& [relative, full] : candidates) {
    // Only what a file holds shows it is one of this tool's outputs; a
    // real invoice may be named like another document's report.
    if (isOwnOutput(headOf(full)))
      continue;
    InputDocument document;
    document.path = fromFsPath(full);
    fs::path subfolder = fsPath(under) / fsPath(relative).parent_path();
    document.subfolder = fromFsPath(subfolder.lexically_normal());
    if (document.subfolder == u".")
      document.subfolder.clear();
    else if (!document.subfolder.empty() &&
             (document.subfolder.back() == u'/' || document.subfolder.back() == u'\\'))
      document.subfolder.pop_back();
    document.fromFolder = true;
    found->push_back(std::move(document));
  }
  return true;
}

}  // namespace

RootElement rootElementOf(std::string_view head) {
  size_t at = 0;
  if (head.substr(0, 3) == "\xEF\xBB\xBF")
    at = 3;
  // Skip the declaration, processing instructions, comments and the
  // document type, up to the root element's start tag.
  for (;;) {
    at = head.find('<', at);
    if (at == std::string_view::npos || at + 1 >= head.size())
      return {};
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
      return {};
  }
  const size_t close = head.find('>', at);
  if (close == std::string_view::npos)
    return {};
  const std::string_view tag = head.substr(at + 1, close - at - 1);
  const size_t nameEnd = tag.find_first_of(" \t\r\n/");
  std::string_view name = tag.substr(0, nameEnd);
  std::string prefix;
  if (size_t colon = name.find(':'); colon != std::string_view::npos) {
    prefix = std::string(name.substr(0, colon));
    name = name.substr(colon + 1);
  }
  RootElement root;
  root.found = !name.empty();
  root.local = std::string(name);
  // The declaration of the root's own prefix, on its own tag.
  const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
  for (size_t from = 0;;) {
    const size_t found = tag.find(declaration, from);
    if (found == std::string_view::npos)
      break;
    from = found + declaration.size();
    if (found > 0 && tag[found - 1] != ' ' && tag[found - 1] != '\t' &&
        tag[found - 1] != '\r' && tag[found - 1] != '\n')
      continue;
    size_t i = from;
    while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\r' || tag[i] == '\n'))
      ++i;
    if (i >= tag.size() || tag[i] != '=')
      continue;
    ++i;
    while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\r' || tag[i] == '\n'))
      ++i;
    if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\''))
      continue;
    const size_t end = tag.find(tag[i], i + 1);
    if (end == std::string_view::npos)
      break;
    root.namespaceUri = std::string(tag.substr(i + 1, end - i - 1));
    break;
  }
  return root;
}

bool looksLikeSvrlReport(std::string_view head) {
  const RootElement root = rootElementOf(head);
  return root.local == "schematron-output" && root.namespaceUri == "http://purl.oclc.org/dsdl/svrl";
}

bool isOwnOutput(std::string_view head) {
  const RootElement root = rootElementOf(head);
  return looksLikeSvrlReport(head) ||
         (root.local == "report" && root.namespaceUri == "http://www.xoev.de/de/validator/varl/1") ||
         (root.local == "testsuites" && root.namespaceUri.empty() &&
          head.find("name=\"xslvalidate-verdict") != std::string_view::npos);
}

InputSet collectInputs(const std::vector<std::u16string>& operands,
                       const std::vector<std::u16string>& skipFolders) {
  InputSet set;
  std::vector<fs::path> skip;
  for (const std::u16string& folder : skipFolders)
    skip.push_back(fsPath(folder));
  // With several folders, each one's documents are kept apart under its
  // own name; two folders of the same name would mix theirs.
  std::map<std::u16string, std::u16string> folderNames;  // name -> operand
  size_t folders = 0;
  for (const std::u16string& operand : operands) {
    std::error_code code;
    folders += fs::is_directory(fsPath(operand), code);
  }
  std::set<fs::path> seen;
  for (const std::u16string& operand : operands) {
    const fs::path path = fsPath(operand);
    std::error_code code;
    const fs::file_status status = fs::status(path, code);
    std::vector<InputDocument> found;
    if (fs::is_directory(status)) {
      std::u16string under;
      if (folders > 1) {
        const fs::path absolute = fs::absolute(path, code).lexically_normal();
        fs::path name = absolute.filename();
        if (name.empty())
          name = absolute.parent_path().filename();
        under = fromFsPath(name);
        auto [place, fresh] = folderNames.emplace(asciiLowered(under), operand);
        if (!fresh && place->second != operand) {
          set.error = "the folders " + toUtf8(place->second).value_or("?") + " and " +
                      toUtf8(operand).value_or("?") + " have the same name, so their reports "
                      "would mix; name one of them by another path or check them apart";
          return set;
        }
      }
      if (!walkFolder(path, under, skip, &found, &set.error))
        return set;
    } else if (fs::exists(status)) {
      found.push_back(InputDocument{operand, u"", false, "", u""});
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
    return document.reportHome;
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
    places.emplace_back(asciiLowered(inFolder(reportFolderOf(documents[i], reportDir),
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
