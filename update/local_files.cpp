#include "update/local_files.h"

#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "platform/safe_write.h"
#include "update/file_hash.h"

namespace fs = std::filesystem;

std::string LocalFilePath(const std::string& launcherDir, const std::string& entryPath) {
  return launcherDir + "/" + entryPath;
}

std::string ParentFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool CreateParentFolders(const std::string& path) {
  const fs::path parent = fs::u8path(path).parent_path();
  if (parent.empty()) return true;
  std::error_code error;
  fs::create_directories(parent, error);
  return !error && fs::is_directory(parent, error);
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

std::vector<std::string> StrayTemporaryFiles(const std::vector<std::string>& found,
                                             const std::vector<ManifestEntry>& entries) {
  std::unordered_set<std::string> listed;
  for (const ManifestEntry& entry : entries)
    listed.insert(entry.path);
  std::vector<std::string> strays;
  for (const std::string& path : found) {
    if (!path.ends_with(platform::kTemporarySuffix)) continue;
    const std::string target = path.substr(0, path.size() - platform::kTemporarySuffix.size());
    if (!listed.contains(target)) strays.push_back(path);
  }
  return strays;
}
