#include "verdict/host_files.h"

#include <cerrno>
#include <cstring>

bool writtenSince(const FileIdentity& before, const FileIdentity& after) {
  if (!after.exists)
    return false;
  return !before.exists || before.device != after.device ||
         before.index != after.index || before.size != after.size ||
         before.changed != after.changed || before.modified != after.modified;
}

std::string writeWholeFile(std::u16string_view path, std::string_view bytes) {
  errno = 0;
  std::FILE* file = openFile(path, "wb");
  if (!file)
    return std::strerror(errno != 0 ? errno : EIO);
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  written = std::fflush(file) == 0 && written;
  int error = errno;
  if (std::fclose(file) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written)
    return std::string();
  removeFile(path);
  return std::strerror(error != 0 ? error : EIO);
}

std::string placeStylesheet(std::u16string_view scratch, std::u16string_view name,
                            std::string_view stem, std::string_view bytes,
                            std::u16string* path) {
  *path = keptStylesheet(stem, bytes);
  if (!path->empty())
    return std::string();
  *path = inFolder(scratch, name);
  return writeWholeFile(*path, bytes);
}

bool readWholeFile(std::u16string_view path, std::string* bytes) {
  std::FILE* in = openFile(path, "rb");
  if (!in)
    return false;
  char block[1 << 16];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, in)) > 0)
    bytes->append(block, got);
  const bool ok = !std::ferror(in);
  std::fclose(in);
  return ok;
}

bool readLine(std::FILE* file, std::string* line) {
  line->clear();
  int c;
  while ((c = std::getc(file)) != EOF) {
    if (c == '\n')
      break;
    *line += static_cast<char>(c);
  }
  if (c == EOF && line->empty())
    return false;
  if (!line->empty() && line->back() == '\r')
    line->pop_back();
  return true;
}

std::u16string asciiLowered(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z')
      c = static_cast<char16_t>(c - u'A' + u'a');
  return text;
}
