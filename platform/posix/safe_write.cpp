// Files replaced whole through "<name>.velmora-part": written, fsync'd, renamed over the target
// within one open folder, and the folder fsync'd. The temporary file is opened without
// following a link, kept only when it is a regular file, and held with an flock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/safe_write.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

constexpr int kOpenAttempts = 3;

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `fd` is still the file named `name` in `folder`: a writer that held it before may
// have renamed it away or removed it between our open and our lock.
bool StillNamed(int folder, const std::string& name, int fd) {
  struct stat opened {};
  struct stat named {};
  return fstat(fd, &opened) == 0 &&
         fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(opened, named);
}

bool IsRegular(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// Takes the writer's lock. A file system without flock is written unlocked.
bool Lock(int fd, int& error) {
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) {
      error = errno;  // another writer holds it
      return false;
    }
    return true;
  }
  return true;
}

FileProblem OpenFailure(int error) {
  switch (error) {
    case ELOOP:
      return FileProblem::Link;
    case EISDIR:
    case ENXIO:  // a pipe without a reader, a socket
      return FileProblem::NotAFile;
    case ENOENT:
      return FileProblem::Missing;
    default:
      return FileProblem::Failed;
  }
}

// The temporary file `name` in `folder`, opened for writing, locked, and emptied unless
// `existing` keeps what it holds; it is then written on at its end.
int OpenTemporary(int folder, const std::string& name, ReplacingFile::Access access,
                  ReplacingFile::Existing existing, FileStatus& status) {
  const bool keep = existing == ReplacingFile::Existing::Kept;
  const mode_t mode = access == ReplacingFile::Access::OwnerOnly ? 0600 : 0666;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    const int fd = openat(folder, name.c_str(),
                          O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) {
      status = {OpenFailure(errno), static_cast<unsigned long>(errno)};
      return -1;
    }
    int error = 0;
    if (!IsRegular(fd)) {
      status = {FileProblem::NotAFile, 0};
    } else if (!Lock(fd, error)) {
      status = {FileProblem::Failed, static_cast<unsigned long>(error)};
    } else if (!StillNamed(folder, name, fd)) {
      close(fd);
      continue;
    } else if ((!keep && ftruncate(fd, 0) != 0) || lseek(fd, 0, SEEK_END) < 0 ||
               (access == ReplacingFile::Access::OwnerOnly && fchmod(fd, mode) != 0)) {
      status = {FileProblem::Failed, static_cast<unsigned long>(errno)};
    } else {
      return fd;
    }
    close(fd);
    return -1;
  }
  status = {FileProblem::Failed, static_cast<unsigned long>(EAGAIN)};
  return -1;
}

}  // namespace

std::string TemporaryPathFor(const std::string& path) {
  return path + std::string(kTemporarySuffix);
}

ReplacingFile::ReplacingFile(const std::string& path, Access access)
    : name_(SplitPath(path).name), path_(path), temporary_(TemporaryPathFor(path)) {
  FileStatus status;
  const Folder folder = Folder::OpenRoot(SplitPath(path).folder, status);
  if (folder.IsOpen()) {
    Start(folder, access, Existing::Emptied);
  } else {
    Refuse(status.problem, status.errorCode);
  }
}

ReplacingFile::ReplacingFile(const Folder& folder, const std::string& name, Access access,
                             Existing existing)
    : name_(name),
      path_(folder.Path() + "/" + name),
      temporary_(TemporaryPathFor(folder.Path() + "/" + name)) {
  Start(folder, access, existing);
}

void ReplacingFile::Start(const Folder& folder, Access access, Existing existing) {
  const int folderFd = fcntl(static_cast<int>(folder.Handle()), F_DUPFD_CLOEXEC, 0);
  if (folderFd < 0) return Refuse(FileProblem::Failed, static_cast<unsigned long>(errno));
  FileStatus status;
  const int fd = OpenTemporary(folderFd, TemporaryName(), access, existing, status);
  struct stat info {};
  if (fd >= 0 && fstat(fd, &info) != 0) {
    status = {FileProblem::Failed, static_cast<unsigned long>(errno)};
    close(fd);
  } else if (fd >= 0) {
    folder_ = folderFd;
    handle_ = fd;
    size_ = static_cast<std::uint64_t>(info.st_size);
    return;
  }
  close(folderFd);
  Refuse(status.problem, status.errorCode);
}

std::string ReplacingFile::TemporaryName() const {
  return TemporaryPathFor(name_);
}

void ReplacingFile::Refuse(FileProblem problem, unsigned long errorCode) {
  problem_ = problem;
  errorCode_ = errorCode;
}

ReplacingFile::~ReplacingFile() {
  Discard();
}

bool ReplacingFile::IsOpen() const {
  return handle_ >= 0;
}

bool ReplacingFile::Write(const char* data, std::size_t size) {
  if (!IsOpen() || failed_) return false;
  const int fd = static_cast<int>(handle_);
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      failed_ = true;
      Refuse(FileProblem::Failed, static_cast<unsigned long>(written < 0 ? errno : ENOSPC));
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
    size_ += static_cast<std::uint64_t>(written);
  }
  return true;
}

bool ReplacingFile::Restart() {
  if (!IsOpen() || failed_) return false;
  const int fd = static_cast<int>(handle_);
  if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) {
    failed_ = true;
    Refuse(FileProblem::Failed, static_cast<unsigned long>(errno));
    return false;
  }
  size_ = 0;
  return true;
}

bool ReplacingFile::Commit(Durability durability) {
  if (!IsOpen() || failed_) {
    Discard();
    return false;
  }
  const int fd = static_cast<int>(handle_);
  const int folder = static_cast<int>(folder_);
  const bool now = durability == Durability::Now;
  if ((now && fsync(fd) != 0) ||
      renameat(folder, TemporaryName().c_str(), folder, name_.c_str()) != 0) {
    Refuse(FileProblem::Failed, static_cast<unsigned long>(errno));
    Discard();
    return false;
  }
  if (now) fsync(folder);  // makes the rename itself durable
  Close();
  return true;
}

void ReplacingFile::Discard() {
  if (!IsOpen()) return;
  // Still holding the lock, so the name is ours to remove.
  unlinkat(static_cast<int>(folder_), TemporaryName().c_str(), 0);
  Close();
}

void ReplacingFile::Keep() {
  if (!IsOpen()) return;
  if (size_ == 0) return Discard();
  Close();
}

void ReplacingFile::Close() {
  close(static_cast<int>(handle_));
  close(static_cast<int>(folder_));
  handle_ = -1;
  folder_ = -1;
}

void SyncFileSystem(const Folder& folder) {
  if (folder.IsOpen()) syncfs(static_cast<int>(folder.Handle()));
}

bool ReplaceFileContent(const std::string& path, std::string_view content,
                        ReplacingFile::Access access) {
  ReplacingFile file(path, access);
  return file.Write(content.data(), content.size()) && file.Commit();
}

bool RemoveStrayTemporaryFile(const std::string& temporaryPath) {
  FileStatus status;
  const PathParts parts = SplitPath(temporaryPath);
  const Folder folder = Folder::OpenRoot(parts.folder, status);
  return folder.IsOpen() && RemoveStrayTemporaryFile(folder, parts.name);
}

bool RemoveStrayTemporaryFile(const Folder& folder, const std::string& name) {
  if (!folder.IsOpen()) return false;
  const int folderFd = static_cast<int>(folder.Handle());
  const int fd = openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool removed = IsRegular(fd) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                       StillNamed(folderFd, name, fd) && unlinkat(folderFd, name.c_str(), 0) == 0;
  close(fd);
  return removed;
}

std::vector<std::string> FindTemporaryFiles(const std::string& root) {
  std::vector<std::string> found;
  std::error_code error;
  // The iterator does not enter folders reached through a link unless asked to.
  fs::recursive_directory_iterator it(fs::u8path(root),
                                      fs::directory_options::skip_permission_denied, error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_symlink(error) || !it->is_regular_file(error)) continue;
    const std::string name = it->path().filename().string();
    if (name.size() <= kTemporarySuffix.size() || !name.ends_with(kTemporarySuffix)) continue;
    found.push_back(it->path().lexically_relative(fs::u8path(root)).generic_string());
  }
  return found;
}

}  // namespace platform
