#include "verdict/configuration_snapshot.h"

#include <filesystem>
#include <utility>
#include <system_error>

#include "verdict/host_files.h"
#include "verdict/shown.h"

namespace {

namespace fs = std::filesystem;

// The deepest folder copied: a link that loops stops here.
constexpr int kMaxDepth = 64;

// Copies the tree at `from` into `to` (made), within the bounds `files`
// and `bytes` count down. Returns why not, or empty.
std::string copyTree(const fs::path& given, const fs::path& to, unsigned long long* files,
                     unsigned long long* bytes) {
  // Without a trailing separator, so that each path under it is a plain
  // continuation of it.
  fs::path from = given.lexically_normal();
  if (from.filename().empty() && from.has_parent_path())
    from = from.parent_path();
  std::error_code error;
  fs::create_directories(to, error);
  if (error)
    return "the copy's folder could not be made (" + error.message() + ")";
  fs::recursive_directory_iterator walk(from, fs::directory_options::follow_directory_symlink,
                                        error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    if (walk.depth() > kMaxDepth)
      return "its repository " + shown(fromFsPath(from)) + " is deeper than " +
             std::to_string(kMaxDepth) + " folders (a link that loops?)";
    // Lexically: a link must land where it sits in the tree, never where
    // it points.
    const fs::path target = to / walk->path().lexically_relative(from);
    if (walk->is_directory(error)) {
      fs::create_directories(target, error);
    } else if (walk->is_regular_file(error)) {
      const unsigned long long size = walk->file_size(error);
      if (error)
        break;
      if (*files == 0 || size > *bytes)
        return "its repository " + shown(fromFsPath(from)) + " holds more than the service "
               "copies (" + std::to_string(kMaxSnapshotFiles) + " files, " +
               std::to_string(kMaxSnapshotBytes >> 20) + " MB): give it a folder of the "
               "configuration's own";
      --*files;
      *bytes -= size;
      fs::copy_file(walk->path(), target, error);
    }
    // Anything else (a FIFO, a socket, a device) is nothing a
    // configuration reads, and is left out.
  }
  if (error)
    return "its repository " + shown(fromFsPath(from)) + " could not be copied (" +
           error.message() + ")";
  return std::string();
}

}  // namespace

std::string snapshotConfiguration(std::u16string_view file, std::u16string_view repository,
                                  std::u16string_view into, std::u16string* fileCopy,
                                  std::u16string* repositoryCopy) {
  unsigned long long files = kMaxSnapshotFiles, bytes = kMaxSnapshotBytes;
  const fs::path given = fsPath(file);
  std::error_code error;
  if (!fs::is_regular_file(given, error))
    return "the file does not exist";
  const fs::path tree = fsPath(into) / "repository";
  if (repository.empty()) {
    const fs::path folder = given.has_parent_path() ? given.parent_path() : fs::path(".");
    std::string problem = copyTree(folder, tree, &files, &bytes);
    if (!problem.empty())
      return problem;
    *fileCopy = fromFsPath(tree / given.filename());
    repositoryCopy->clear();
    // A file the walk could not see as one (its folder unreadable) is
    // copied alone.
    if (!fs::is_regular_file(tree / given.filename(), error))
      fs::copy_file(given, tree / given.filename(), error);
  } else {
    std::string problem = copyTree(fsPath(repository), tree, &files, &bytes);
    if (!problem.empty())
      return problem;
    *fileCopy = fromFsPath(fsPath(into) / "scenarios.xml");
    *repositoryCopy = fromFsPath(tree);
    fs::copy_file(given, fsPath(*fileCopy), error);
  }
  if (error)
    return "the file could not be copied (" + error.message() + ")";
  return std::string();
}

std::string asOriginalPaths(std::string text, std::u16string_view file,
                            std::u16string_view repository, std::u16string_view into) {
  const fs::path given = fsPath(file);
  const fs::path tree = repository.empty()
                            ? (given.has_parent_path() ? given.parent_path() : fs::path("."))
                            : fsPath(repository);
  const std::pair<fs::path, fs::path> copies[] = {
      {fsPath(into) / "scenarios.xml", given},
      {fsPath(into) / "repository", tree},
  };
  for (const auto& [copy, original] : copies) {
    const std::string from = shown(fromFsPath(copy)), to = shown(fromFsPath(original));
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
      text.replace(at, from.size(), to);
  }
  return text;
}
