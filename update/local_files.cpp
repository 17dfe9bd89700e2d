#include "update/local_files.h"

#include <unordered_set>

#include "platform/safe_write.h"
#include "update/file_hash.h"

using platform::FileProblem;

std::string LocalFilePath(const std::string& launcherDir, const std::string& entryPath) {
  return launcherDir + "/" + entryPath;
}

std::string FolderPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NamePart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

LocalFileCheck Found(LocalFileCheck::State state, const platform::FileStatus& status = {}) {
  LocalFileCheck check;
  check.state = state;
  check.problem = status.problem;
  check.errorCode = status.errorCode;
  return check;
}

}  // namespace

LocalFileCheck LocalFileChecker::Check(const std::string& entryPath) {
  using State = LocalFileCheck::State;
  const std::string folderPath = FolderPart(entryPath);
  if (!entered_ || folderPath != folderPath_) {
    folder_ = root_.Enter(folderPath, false, folderStatus_);
    folderPath_ = folderPath;
    entered_ = true;
  }
  platform::FileStatus status = folderStatus_;
  switch (status.problem) {
    case FileProblem::None:
      break;
    case FileProblem::Missing:
    case FileProblem::NotAFolder:
      return Found(State::Missing);
    case FileProblem::Link:
      return Found(State::Link, status);
    case FileProblem::NotAFile:
    case FileProblem::Failed:
      return Found(State::Error, status);
  }
  platform::ReadableFile file = platform::ReadableFile::Open(folder_, NamePart(entryPath), status);
  switch (status.problem) {
    case FileProblem::None: {
      LocalFileCheck check = Found(State::Present);
      check.hash = HashReadableFile(file);
      return check;
    }
    case FileProblem::Missing:
    case FileProblem::NotAFolder:
      return Found(State::Missing);
    case FileProblem::Link:
      return Found(State::Link, status);
    case FileProblem::NotAFile:
    case FileProblem::Failed:
      return Found(State::Present, status);  // there, but nothing to hash
  }
  return Found(State::Error, status);
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
