// Reaching files inside a folder the launcher owns (the game folder, the settings folder) without
// being led out of it, and reading only what is a plain file.
//
// The root folder is taken as given: a link in its own path is the player's choice. Below it,
// no symbolic link (Windows: no reparse point) is followed, neither for a folder on the way nor
// at the file itself. Only regular files are opened: a pipe, a device or a socket standing
// where a file belongs is refused without being opened in a way that could wait (Linux: opened
// non-blocking and checked with fstat; Windows: the handle's type must be a disk file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class FileProblem {
  None,
  Missing,     // nothing there (or a folder on the way is missing)
  Link,        // a symbolic link or another reparse point in the way: never followed
  NotAFile,    // a folder, pipe, device or socket where a file belongs
  NotAFolder,  // a file where a folder belongs
  Failed,      // the system refused; errorCode says why
};

struct FileStatus {
  FileProblem problem = FileProblem::None;
  unsigned long errorCode = 0;  // errno or GetLastError of the call that failed, if one did
};

// The problem in words, for log lines.
inline const char* DescribeProblem(FileProblem problem) {
  switch (problem) {
    case FileProblem::None:
      return "no problem";
    case FileProblem::Missing:
      return "it is not there";
    case FileProblem::Link:
      return "a symbolic link is in the way (links inside the folder are never followed)";
    case FileProblem::NotAFile:
      return "it is not a regular file";
    case FileProblem::NotAFolder:
      return "a file stands where a folder belongs";
    case FileProblem::Failed:
      return "the system refused it";
  }
  return "unknown";
}

// The problem in words with, for a refusal by the system, the system's own reason
// ("the system refused it: No space left on device").
std::string DescribeFailure(FileProblem problem, unsigned long errorCode);

// An open folder.
class Folder {
 public:
  // The folder at `path`, as given.
  static Folder OpenRoot(const std::string& path, FileStatus& status);
  // The folder `relative` ("a/b"; "" is this folder itself) below this one. Each component is
  // entered without following a link; with `create`, missing ones are created.
  Folder Enter(const std::string& relative, bool create, FileStatus& status) const;

  Folder() = default;
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder();

  bool IsOpen() const { return open_; }
  // UTF-8, for log lines and for the Windows calls on names inside it.
  const std::string& Path() const { return path_; }
  // Linux: the folder's descriptor; Windows: unused (-1).
  std::intptr_t Handle() const { return handle_; }

 private:
  std::string path_;
  std::intptr_t handle_ = -1;
  bool open_ = false;
};

// A regular file opened for reading.
class ReadableFile {
 public:
  // The file `name` in `folder`, not following a link at `name`.
  static ReadableFile Open(const Folder& folder, const std::string& name, FileStatus& status);
  // The file at `path`, links followed, under the same rule that it must be a regular file.
  static ReadableFile OpenPath(const std::string& path, FileStatus& status);

  ReadableFile() = default;
  ReadableFile(ReadableFile&& other) noexcept;
  ReadableFile& operator=(ReadableFile&& other) noexcept;
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;
  ~ReadableFile();

  bool IsOpen() const { return handle_ != -1; }
  // Bytes read into `buffer`: 0 at the end, -1 on an error.
  std::ptrdiff_t Read(char* buffer, std::size_t size);

 private:
  std::intptr_t handle_ = -1;  // a descriptor, or a HANDLE on Windows
};

// `path` split at its last separator ("/"; on Windows "\\" too): the folder ("." when there is
// none) and the name.
struct PathParts {
  std::string folder;
  std::string name;
};
PathParts SplitPath(const std::string& path);

}  // namespace platform
