#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "platform/file_ops.h"

namespace platform {

PathQuery QueryPath(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0) return {PathState::Exists, 0};
  if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) {
    return {PathState::Missing, 0};
  }
  return {PathState::Error, static_cast<unsigned long>(errno)};
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool MarkExecutable(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  return chmod(path.c_str(), info.st_mode | S_IXUSR | S_IXGRP | S_IXOTH) == 0;
}

}  // namespace platform
