// Folders entered with openat from the root's descriptor, O_NOFOLLOW | O_DIRECTORY at each step;
// files opened O_NOFOLLOW | O_NONBLOCK and kept only when fstat shows a regular file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/file_access.h"

namespace platform {

namespace {

FileStatus Refused(FileProblem problem, int error = 0) {
  return {problem, static_cast<unsigned long>(error)};
}

// What stands at `name` in `folder` explains why opening it failed with `error`.
FileProblem ProblemAt(int folder, const char* name, int error) {
  if (error == ENOENT || error == ENAMETOOLONG) return FileProblem::Missing;
  struct stat info {};
  if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? FileProblem::Missing : FileProblem::Failed;
  }
  if (S_ISLNK(info.st_mode)) return FileProblem::Link;
  // A folder opened as a file, or a folder that may not be entered.
  if (S_ISDIR(info.st_mode)) return error == EISDIR ? FileProblem::NotAFile : FileProblem::Failed;
  // A file opened as a folder, or a file that may not be read.
  if (S_ISREG(info.st_mode))
    return error == ENOTDIR ? FileProblem::NotAFolder : FileProblem::Failed;
  return FileProblem::NotAFile;  // a pipe, device or socket
}

// Keeps `fd` only when it is a regular file.
int KeepRegular(int fd, FileStatus& status) {
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    status = Refused(FileProblem::NotAFile);
    close(fd);
    return -1;
  }
  return fd;
}

// `nofollow` is O_NOFOLLOW or 0.
int OpenRegular(int folder, const char* name, int nofollow, FileStatus& status) {
  const int flags = O_RDONLY | O_CLOEXEC | nofollow;
  int fd = openat(folder, name, flags | O_NONBLOCK);
  if (fd < 0 && errno == EWOULDBLOCK) {
    // A lease on a regular file (a file server holding it): wait for it as any open would.
    struct stat info {};
    if (fstatat(folder, name, &info, nofollow ? AT_SYMLINK_NOFOLLOW : 0) == 0 &&
        S_ISREG(info.st_mode)) {
      fd = openat(folder, name, flags);
    }
  }
  if (fd < 0) {
    const int error = errno;
    status = Refused(ProblemAt(folder, name, error), error);
    if (!nofollow && status.problem == FileProblem::Link) status.problem = FileProblem::Missing;
    return -1;
  }
  return KeepRegular(fd, status);
}

}  // namespace

PathParts SplitPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

Folder Folder::OpenRoot(const std::string& path, FileStatus& status) {
  status = {};
  Folder folder;
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    status = Refused(error == ENOENT    ? FileProblem::Missing
                     : error == ENOTDIR ? FileProblem::NotAFolder
                                        : FileProblem::Failed,
                     error);
    return folder;
  }
  folder.path_ = path;
  folder.handle_ = fd;
  folder.open_ = true;
  return folder;
}

Folder Folder::Enter(const std::string& relative, bool create, FileStatus& status) const {
  status = {};
  Folder current;
  if (!open_) {
    status = Refused(FileProblem::Failed, EBADF);
    return current;
  }
  current.handle_ = fcntl(static_cast<int>(handle_), F_DUPFD_CLOEXEC, 0);
  current.path_ = path_;
  current.open_ = current.handle_ >= 0;
  if (!current.open_) status = Refused(FileProblem::Failed, errno);
  std::size_t start = 0;
  while (current.open_ && start < relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string name = relative.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    const int parent = static_cast<int>(current.handle_);
    if (create && mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
      status = Refused(FileProblem::Failed, errno);
      return Folder();
    }
    const int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      const int error = errno;
      const FileProblem problem = ProblemAt(parent, name.c_str(), error);
      status = Refused(problem == FileProblem::NotAFile ? FileProblem::NotAFolder : problem, error);
      return Folder();
    }
    close(parent);
    current.handle_ = fd;
    current.path_ += "/" + name;
  }
  return current;
}

Folder::Folder(Folder&& other) noexcept
    : path_(std::move(other.path_)),
      handle_(std::exchange(other.handle_, -1)),
      open_(std::exchange(other.open_, false)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (open_) close(static_cast<int>(handle_));
    path_ = std::move(other.path_);
    handle_ = std::exchange(other.handle_, -1);
    open_ = std::exchange(other.open_, false);
  }
  return *this;
}

Folder::~Folder() {
  if (open_) close(static_cast<int>(handle_));
}

ReadableFile ReadableFile::Open(const Folder& folder, const std::string& name, FileStatus& status) {
  status = {};
  ReadableFile file;
  if (!folder.IsOpen()) {
    status = Refused(FileProblem::Failed, EBADF);
    return file;
  }
  file.handle_ = OpenRegular(static_cast<int>(folder.Handle()), name.c_str(), O_NOFOLLOW, status);
  return file;
}

ReadableFile ReadableFile::OpenPath(const std::string& path, FileStatus& status) {
  status = {};
  ReadableFile file;
  file.handle_ = OpenRegular(AT_FDCWD, path.c_str(), 0, status);
  return file;
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
  if (this != &other) {
    if (IsOpen()) close(static_cast<int>(handle_));
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

ReadableFile::~ReadableFile() {
  if (IsOpen()) close(static_cast<int>(handle_));
}

std::ptrdiff_t ReadableFile::Read(char* buffer, std::size_t size) {
  if (!IsOpen()) return -1;
  while (true) {
    const ssize_t count = read(static_cast<int>(handle_), buffer, size);
    if (count < 0 && errno == EINTR) continue;
    return count;
  }
}

std::string DescribeFailure(FileProblem problem, unsigned long errorCode) {
  std::string text = DescribeProblem(problem);
  if (problem == FileProblem::Failed && errorCode != 0)
    text += std::string(": ") + std::strerror(static_cast<int>(errorCode));
  return text;
}

}  // namespace platform
