// Folders entered by name, each component checked with GetFileAttributesW and refused when it is
// a reparse point (a symbolic link or a junction); files opened with FILE_FLAG_OPEN_REPARSE_POINT
// and kept only when the handle is a disk file that is neither a folder nor a reparse point.
#include <windows.h>

#include <utility>

#include "platform/file_access.h"
#include "platform/text.h"

namespace platform {

namespace {

FileStatus Refused(FileProblem problem, DWORD error = 0) {
  return {problem, error};
}

bool IsNotFound(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
      return true;
    default:
      return false;
  }
}

// What the attributes of `path` say about using it as a folder.
FileStatus FolderStatus(const Utf16String& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return Refused(IsNotFound(error) ? FileProblem::Missing : FileProblem::Failed, error);
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Refused(FileProblem::Link);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Refused(FileProblem::NotAFolder);
  return {};
}

// Keeps `file` only when it is a plain file on disk, not a link, folder, pipe or device.
HANDLE KeepRegular(HANDLE file, bool refuseLinks, FileStatus& status) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    status = Refused(FileProblem::NotAFile);
  } else if (refuseLinks && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    status = Refused(FileProblem::Link);
  } else {
    return file;
  }
  CloseHandle(file);
  return INVALID_HANDLE_VALUE;
}

HANDLE OpenRegular(const Utf16String& path, bool refuseLinks, FileStatus& status) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (refuseLinks && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      status = Refused(FileProblem::Link);
      return INVALID_HANDLE_VALUE;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      status = Refused(FileProblem::NotAFile);
      return INVALID_HANDLE_VALUE;
    }
  }
  const DWORD flags =
      FILE_FLAG_SEQUENTIAL_SCAN | (refuseLinks ? FILE_FLAG_OPEN_REPARSE_POINT : DWORD{0});
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    status = Refused(IsNotFound(error) ? FileProblem::Missing : FileProblem::Failed, error);
    return file;
  }
  return KeepRegular(file, refuseLinks, status);
}

std::intptr_t AsNumber(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(handle);
}

}  // namespace

PathParts SplitPath(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  if (separator == std::string::npos) return {".", path};
  return {path.substr(0, separator == 0 ? 1 : separator), path.substr(separator + 1)};
}

Folder Folder::OpenRoot(const std::string& path, FileStatus& status) {
  status = {};
  Folder folder;
  const DWORD attributes = GetFileAttributesW(Utf8ToUtf16(path.c_str()).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    status = Refused(IsNotFound(error) ? FileProblem::Missing : FileProblem::Failed, error);
    return folder;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    status = Refused(FileProblem::NotAFolder);
    return folder;
  }
  folder.path_ = path;
  folder.open_ = true;
  return folder;
}

Folder Folder::Enter(const std::string& relative, bool create, FileStatus& status) const {
  status = {};
  Folder current;
  if (!open_) {
    status = Refused(FileProblem::Failed, ERROR_INVALID_HANDLE);
    return current;
  }
  std::string path = path_;
  std::size_t start = 0;
  while (start < relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string name = relative.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    path += "\\" + name;
    const Utf16String wide = Utf8ToUtf16(path.c_str());
    status = FolderStatus(wide);
    if (status.problem == FileProblem::Missing && create) {
      if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        status = Refused(FileProblem::Failed, GetLastError());
        return current;
      }
      status = FolderStatus(wide);
    }
    if (status.problem != FileProblem::None) return current;
  }
  current.path_ = path;
  current.open_ = true;
  return current;
}

Folder::Folder(Folder&& other) noexcept
    : path_(std::move(other.path_)),
      handle_(std::exchange(other.handle_, -1)),
      open_(std::exchange(other.open_, false)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  path_ = std::move(other.path_);
  handle_ = std::exchange(other.handle_, -1);
  open_ = std::exchange(other.open_, false);
  return *this;
}

Folder::~Folder() = default;

ReadableFile ReadableFile::Open(const Folder& folder, const std::string& name, FileStatus& status) {
  status = {};
  ReadableFile file;
  if (!folder.IsOpen()) {
    status = Refused(FileProblem::Failed, ERROR_INVALID_HANDLE);
    return file;
  }
  const std::string path = folder.Path() + "\\" + name;
  file.handle_ = AsNumber(OpenRegular(Utf8ToUtf16(path.c_str()), true, status));
  return file;
}

ReadableFile ReadableFile::OpenPath(const std::string& path, FileStatus& status) {
  status = {};
  ReadableFile file;
  file.handle_ = AsNumber(OpenRegular(Utf8ToUtf16(path.c_str()), false, status));
  return file;
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
  if (this != &other) {
    if (IsOpen()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

ReadableFile::~ReadableFile() {
  if (IsOpen()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::ptrdiff_t ReadableFile::Read(char* buffer, std::size_t size) {
  if (!IsOpen()) return -1;
  DWORD read = 0;
  const DWORD wanted = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, wanted, &read, nullptr)) return -1;
  return static_cast<std::ptrdiff_t>(read);
}

std::string DescribeFailure(FileProblem problem, unsigned long errorCode) {
  std::string text = DescribeProblem(problem);
  if (problem != FileProblem::Failed || errorCode == 0) return text;
  char reason[256] = "";
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(errorCode), 0, reason, sizeof(reason), nullptr);
  std::string words(reason, length);
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.'))
    words.pop_back();
  text += ": " + (words.empty() ? "error " + std::to_string(errorCode) : words);
  return text;
}

}  // namespace platform
