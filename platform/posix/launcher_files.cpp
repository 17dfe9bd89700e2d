#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/launcher_files.h"
#include "platform/posix/rename_no_replace.h"

namespace platform {

std::vector<std::string> ListMatchingEntries(const std::string& folder,
                                             const std::string& pattern) {
  std::vector<std::string> names;
  DIR* directory = opendir(folder.empty() ? "." : folder.c_str());
  if (directory == nullptr) return names;
  while (const dirent* entry = readdir(directory)) {
    if (fnmatch(pattern.c_str(), entry->d_name, 0) == 0) names.emplace_back(entry->d_name);
  }
  closedir(directory);
  return names;
}

bool DeleteOneFile(const std::string& path) {
  return unlink(path.c_str()) == 0;
}

RenameResult RenameWithoutReplacing(const std::string& from, const std::string& to) {
  int error = posix::RenameNoReplace(from, to);
  // EINVAL: this file system does not offer the flag; ENOSYS: the kernel lacks the call.
  if (error == EINVAL || error == ENOSYS) error = posix::LinkThenUnlink(from, to);
  return {error == 0, static_cast<unsigned long>(error)};
}

void SleepMilliseconds(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace posix {

int RenameNoReplace(const std::string& from, const std::string& to) {
  return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
}

int LinkThenUnlink(const std::string& from, const std::string& to) {
  if (link(from.c_str(), to.c_str()) != 0) return errno;
  if (unlink(from.c_str()) != 0) {
    const int error = errno;
    unlink(to.c_str());  // undo: the file keeps its old name only
    return error;
  }
  return 0;
}

}  // namespace posix

}  // namespace platform
