#include "update/local_files.h"

#include <filesystem>
#include <system_error>

#include "update/file_hash.h"

namespace fs = std::filesystem;

std::string LocalFilePath(const std::string& launcherDir, const std::string& entryPath) {
  return launcherDir + "/" + entryPath;
}

std::string TemporaryDownloadPath(const std::string& path) {
  return path + ".velmora-part";
}

bool CreateParentFolders(const std::string& path) {
  const fs::path parent = fs::u8path(path).parent_path();
  if (parent.empty()) return true;
  std::error_code error;
  fs::create_directories(parent, error);
  return !error && fs::is_directory(parent, error);
}

void RemoveFileQuietly(const std::string& path) {
  std::error_code ignored;
  fs::remove(fs::u8path(path), ignored);
}

LocalFileCheck CheckLocalFile(const std::string& path) {
  LocalFileCheck check;
  check.hash = HashFile(path);
  if (!check.hash.empty()) {
    check.state = platform::PathState::Exists;
    return check;
  }
  const platform::PathQuery query = platform::QueryPath(path);
  check.state = query.state;
  check.errorCode = query.errorCode;
  return check;
}
