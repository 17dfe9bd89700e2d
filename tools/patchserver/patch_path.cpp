#include "tools/patchserver/patch_path.h"

#include <system_error>

namespace patchserver {

namespace {

bool IsSafeRelativePath(const std::string& relative) {
  if (relative.empty() || relative.front() == '/') return false;
  if (relative.find_first_of(std::string("\\\0", 2)) != std::string::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = relative.find('/', start);
    const std::string component = relative.substr(start, slash - start);
    if (component.empty() || component == "." || component == "..") return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

bool IsInside(const std::filesystem::path& folder, const std::filesystem::path& file) {
  auto inFolder = folder.begin();
  auto inFile = file.begin();
  for (; inFolder != folder.end(); ++inFolder, ++inFile) {
    if (inFile == file.end() || *inFolder != *inFile) return false;
  }
  return inFile != file.end();
}

}  // namespace

std::optional<std::filesystem::path> ResolveServedFile(const std::filesystem::path& root,
                                                       const std::string& relative) {
  if (!IsSafeRelativePath(relative)) return {};
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::canonical(root, error);
  if (error) return {};
  // A link inside the folder may point anywhere: judge where the path really leads.
  const std::filesystem::path file = std::filesystem::canonical(folder / relative, error);
  if (error || !IsInside(folder, file) || !std::filesystem::is_regular_file(file, error)) return {};
  return file;
}

std::string ContentTypeFor(const std::filesystem::path& file) {
  const std::string extension = file.extension().string();
  if (extension == ".json") return "application/json";
  if (extension == ".txt") return "text/plain; charset=utf-8";
  if (extension == ".html") return "text/html; charset=utf-8";
  return "application/octet-stream";
}

}  // namespace patchserver
