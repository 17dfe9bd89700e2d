// Files replaced whole through "<name>.velmora-part": written, fsync'd, renamed over the target
// within one open folder, and the folder fsync'd. The temporary file is held with an flock.
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

struct FolderAndName {
  std::string folder;
  std::string name;
};

FolderAndName Split(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

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

// The temporary file `name` in `folder`, opened for writing, locked and emptied.
int OpenTemporary(int folder, const std::string& name, ReplacingFile::Access access, int& error) {
  const mode_t mode = access == ReplacingFile::Access::OwnerOnly ? 0600 : 0666;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    const int fd = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, mode);
    if (fd < 0) {
      error = errno;
      return -1;
    }
    if (!Lock(fd, error)) {
      close(fd);
      return -1;
    }
    if (!StillNamed(folder, name, fd)) {
      close(fd);
      continue;
    }
    const bool ready = ftruncate(fd, 0) == 0 &&
                       (access != ReplacingFile::Access::OwnerOnly || fchmod(fd, mode) == 0);
    if (ready) return fd;
    error = errno;
    close(fd);
    return -1;
  }
  error = EAGAIN;
  return -1;
}

}  // namespace

std::string TemporaryPathFor(const std::string& path) {
  return path + std::string(kTemporarySuffix);
}

ReplacingFile::ReplacingFile(const std::string& path, Access access)
    : path_(path), temporary_(TemporaryPathFor(path)) {
  const FolderAndName place = Split(path);
  const int folder = open(place.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) {
    errorCode_ = static_cast<unsigned long>(errno);
    return;
  }
  int error = 0;
  const int fd = OpenTemporary(folder, TemporaryPathFor(place.name), access, error);
  if (fd < 0) {
    errorCode_ = static_cast<unsigned long>(error);
    close(folder);
    return;
  }
  folder_ = folder;
  handle_ = fd;
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
      errorCode_ = static_cast<unsigned long>(written < 0 ? errno : ENOSPC);
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool ReplacingFile::Commit(FolderSync sync) {
  if (!IsOpen() || failed_) {
    Discard();
    return false;
  }
  const int fd = static_cast<int>(handle_);
  const int folder = static_cast<int>(folder_);
  const std::string name = Split(path_).name;
  if (fsync(fd) != 0 ||
      renameat(folder, TemporaryPathFor(name).c_str(), folder, name.c_str()) != 0) {
    errorCode_ = static_cast<unsigned long>(errno);
    Discard();
    return false;
  }
  if (sync == FolderSync::AfterRename) fsync(folder);  // makes the rename itself durable
  Close();
  return true;
}

void ReplacingFile::Discard() {
  if (!IsOpen()) return;
  // Still holding the lock, so the name is ours to remove.
  unlinkat(static_cast<int>(folder_), TemporaryPathFor(Split(path_).name).c_str(), 0);
  Close();
}

void ReplacingFile::Close() {
  close(static_cast<int>(handle_));
  close(static_cast<int>(folder_));
  handle_ = -1;
  folder_ = -1;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool ReplaceFileContent(const std::string& path, std::string_view content,
                        ReplacingFile::Access access) {
  ReplacingFile file(path, access);
  return file.Write(content.data(), content.size()) && file.Commit();
}

bool RemoveStrayTemporaryFile(const std::string& temporaryPath) {
  const FolderAndName place = Split(temporaryPath);
  const int folder = open(place.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return false;
  bool removed = false;
  const int fd = openat(folder, place.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat info {};
  if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      flock(fd, LOCK_EX | LOCK_NB) == 0 && StillNamed(folder, place.name, fd)) {
    removed = unlinkat(folder, place.name.c_str(), 0) == 0;
  }
  if (fd >= 0) close(fd);
  close(folder);
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
