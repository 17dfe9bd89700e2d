#include "update/local_version.h"

#include "platform/file_access.h"
#include "platform/safe_write.h"

std::string ReadLocalVersion(const std::string& path) {
  // A link, pipe or device in its place reads as no version: it is neither followed nor opened.
  platform::FileStatus status;
  const platform::PathParts parts = platform::SplitPath(path);
  const platform::Folder folder = platform::Folder::OpenRoot(parts.folder, status);
  platform::ReadableFile file = platform::ReadableFile::Open(folder, parts.name, status);
  std::string line;
  char buffer[256];
  while (file.IsOpen()) {
    const std::ptrdiff_t count = file.Read(buffer, sizeof(buffer));
    if (count <= 0) break;
    const std::string_view piece(buffer, static_cast<std::size_t>(count));
    const std::size_t end = piece.find('\n');
    line.append(piece.substr(0, end));
    if (end != std::string_view::npos) break;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool WriteLocalVersion(const std::string& path, const std::string& version) {
  return platform::ReplaceFileContent(path, version);
}
