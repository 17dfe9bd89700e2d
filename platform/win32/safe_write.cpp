// Files replaced whole through "<name>.velmora-part": written, flushed with FlushFileBuffers and
// moved over the target with MoveFileExW (replace existing, write through). The temporary file
// is opened without sharing for writing or deletion, which makes it the writer's alone.
#include <windows.h>

#include "platform/safe_write.h"
#include "platform/text.h"

namespace platform {

namespace {

HANDLE AsHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// A disk file that is neither a folder nor a reparse point: no pipe, device or link.
bool IsPlainDiskFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information{};
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
         !(information.dwFileAttributes &
           (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

bool EndsWithSuffix(const std::string& name) {
  return name.size() > kTemporarySuffix.size() && name.ends_with(kTemporarySuffix);
}

void CollectTemporaryFiles(const Utf16String& folder, const std::string& relative,
                           std::vector<std::string>& found) {
  WIN32_FIND_DATAW entry;
  const Utf16String pattern = folder + L"\\*";
  HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const Utf16String name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    // Junctions and symbolic links are neither entered nor reported.
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    const std::string utf8 = Utf16ToUtf8(name.c_str());
    const std::string path = relative.empty() ? utf8 : relative + "/" + utf8;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CollectTemporaryFiles(folder + L"\\" + name, path, found);
    } else if (EndsWithSuffix(utf8)) {
      found.push_back(path);
    }
  } while (FindNextFileW(search, &entry));
  FindClose(search);
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
      path_(folder.Path() + "\\" + name),
      temporary_(TemporaryPathFor(folder.Path() + "\\" + name)) {
  Start(folder, access, existing);
}

std::string ReplacingFile::TemporaryName() const {
  return TemporaryPathFor(name_);
}

void ReplacingFile::Start(const Folder& folder, Access, Existing existing) {
  if (!folder.IsOpen()) return Refuse(FileProblem::Failed, ERROR_INVALID_HANDLE);
  const Utf16String wide = Utf8ToUtf16(temporary_.c_str());
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return Refuse(FileProblem::Link, 0);
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Refuse(FileProblem::NotAFile, 0);
  }
  // CREATE_ALWAYS empties a file left by an earlier run, OPEN_ALWAYS keeps it; a writer that
  // holds it makes this fail with a sharing violation.
  const DWORD disposition = existing == Existing::Kept ? OPEN_ALWAYS : CREATE_ALWAYS;
  const HANDLE file =
      CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Refuse(FileProblem::Failed, GetLastError());
  handle_ = reinterpret_cast<std::intptr_t>(file);
  if (!IsPlainDiskFile(file)) {
    Close();
    return Refuse(FileProblem::NotAFile, 0);
  }
  LARGE_INTEGER size{};
  LARGE_INTEGER end{};
  if (!GetFileSizeEx(file, &size) || !SetFilePointerEx(file, {}, &end, FILE_END)) {
    const DWORD error = GetLastError();
    Close();
    return Refuse(FileProblem::Failed, error);
  }
  size_ = static_cast<std::uint64_t>(size.QuadPart);
}

void ReplacingFile::Refuse(FileProblem problem, unsigned long errorCode) {
  problem_ = problem;
  errorCode_ = errorCode;
}

ReplacingFile::~ReplacingFile() {
  Discard();
}

bool ReplacingFile::IsOpen() const {
  return handle_ != -1;
}

bool ReplacingFile::Write(const char* data, std::size_t size) {
  if (!IsOpen() || failed_) return false;
  while (size > 0) {
    const DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle_), data, piece, &written, nullptr) || written == 0) {
      failed_ = true;
      Refuse(FileProblem::Failed, GetLastError());
      return false;
    }
    data += written;
    size -= written;
    size_ += written;
  }
  return true;
}

bool ReplacingFile::Restart() {
  if (!IsOpen() || failed_) return false;
  if (!SetFilePointerEx(AsHandle(handle_), {}, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(AsHandle(handle_))) {
    failed_ = true;
    Refuse(FileProblem::Failed, GetLastError());
    return false;
  }
  size_ = 0;
  return true;
}

bool ReplacingFile::Commit(Durability) {
  if (!IsOpen() || failed_) {
    Discard();
    return false;
  }
  if (!FlushFileBuffers(AsHandle(handle_))) {
    Refuse(FileProblem::Failed, GetLastError());
    Discard();
    return false;
  }
  Close();
  const Utf16String source = Utf8ToUtf16(temporary_.c_str());
  const Utf16String target = Utf8ToUtf16(path_.c_str());
  if (!MoveFileExW(source.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Refuse(FileProblem::Failed, GetLastError());
    DeleteFileW(source.c_str());
    return false;
  }
  return true;
}

void ReplacingFile::Discard() {
  if (!IsOpen()) return;
  Close();
  DeleteFileW(Utf8ToUtf16(temporary_.c_str()).c_str());
}

void ReplacingFile::Keep() {
  if (!IsOpen()) return;
  if (size_ == 0) return Discard();
  Close();
}

void ReplacingFile::Close() {
  CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

void SyncFileSystem(const Folder&) {}

bool ReplaceFileContent(const std::string& path, std::string_view content,
                        ReplacingFile::Access access) {
  ReplacingFile file(path, access);
  return file.Write(content.data(), content.size()) && file.Commit();
}

bool RemoveStrayTemporaryFile(const Folder& folder, const std::string& name) {
  return folder.IsOpen() && RemoveStrayTemporaryFile(folder.Path() + "\\" + name);
}

bool RemoveStrayTemporaryFile(const std::string& temporaryPath) {
  const Utf16String wide = Utf8ToUtf16(temporaryPath.c_str());
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  // Fails with a sharing violation while a writer holds the file.
  return DeleteFileW(wide.c_str()) != 0;
}

std::vector<std::string> FindTemporaryFiles(const std::string& root) {
  std::vector<std::string> found;
  CollectTemporaryFiles(Utf8ToUtf16(root.c_str()), "", found);
  return found;
}

}  // namespace platform
