// Replacing a file whole. The new content goes to a temporary file beside the target, named
// "<name>.velmora-part", is flushed to disk and then renamed over the target (on Linux the folder
// is flushed after the rename), so a reader or a crash at any moment finds the old file or the
// new one, never a part of either. Every file the launcher writes goes this way: game files,
// the launcher it downloads, local_version.txt and the Linux settings file.
//
// A writer holds its temporary file exclusively (Linux: an flock; Windows: no sharing for
// writing or deletion), so a second writer of the same file fails instead of mixing its bytes
// in, and a temporary file nobody holds is known to be left over from a crash.
//
// A download that stops before its end may keep its temporary file (Keep) for a later writer to
// continue where it ended (Existing::Kept): a temporary file holds a beginning of the new
// content, never something that counts as the file until it is committed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_access.h"

namespace platform {

// The one naming rule for temporary files.
inline constexpr std::string_view kTemporarySuffix = ".velmora-part";

std::string TemporaryPathFor(const std::string& path);

class ReplacingFile {
 public:
  enum class Access {
    Ordinary,   // the permissions new files get by default
    OwnerOnly,  // Linux: mode 0600
  };

  // What becomes of a temporary file that an earlier writer left.
  enum class Existing {
    Emptied,  // written anew
    Kept,     // kept, and written on at its end
  };

  // Starts writing the temporary file of `path` (UTF-8): created, or one left by an earlier run
  // emptied. IsOpen() is false when that fails; Problem() and ErrorCode() then say why. A link,
  // folder, pipe or device standing at the temporary name is refused, never written through.
  explicit ReplacingFile(const std::string& path, Access access = Access::Ordinary);
  // The same for the file `name` in `folder`, keeping what an earlier writer left as `existing`
  // says.
  ReplacingFile(const Folder& folder, const std::string& name, Access access = Access::Ordinary,
                Existing existing = Existing::Emptied);
  ~ReplacingFile();  // discards the temporary file unless it was committed or kept
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  bool IsOpen() const;
  FileProblem Problem() const { return problem_; }
  // errno or GetLastError of the step that failed.
  unsigned long ErrorCode() const { return errorCode_; }
  const std::string& TemporaryPath() const { return temporary_; }
  // The temporary file's name within its folder.
  std::string TemporaryName() const;
  // The bytes in the temporary file: those kept from an earlier writer and those written since.
  std::uint64_t Size() const { return size_; }

  // Appends `size` bytes; false when they could not be written.
  bool Write(const char* data, std::size_t size);
  // Empties the temporary file, to write it again from its start; false when that failed.
  bool Restart();
  enum class Durability {
    // The data is flushed to disk before the rename and (Linux) the folder after it: once
    // Commit returns, a crash leaves the new file, whole.
    Now,
    // For many files in a row: Linux renames without flushing and the caller flushes them all
    // with one SyncFileSystem before it relies on them; until then a crash may leave a new file
    // incomplete (never a temporary one). Windows, which has no such flush for a user, flushes
    // each file as with Now.
    Batched,
  };
  // Renames the temporary file over the target, flushed to disk as `durability` says. False when
  // a step failed; the temporary file is then removed and the target is as it was.
  bool Commit(Durability durability = Durability::Now);
  // Removes the temporary file; the target is untouched.
  void Discard();
  // Closes the temporary file and leaves it for a later writer to continue (an empty one has
  // nothing to continue and is removed); the target is untouched.
  void Keep();

 private:
  void Start(const Folder& folder, Access access, Existing existing);
  void Refuse(FileProblem problem, unsigned long errorCode);
  void Close();

  std::string name_;
  std::string path_;
  std::string temporary_;
  std::intptr_t handle_ = -1;  // a file descriptor, or a HANDLE on Windows
  std::intptr_t folder_ = -1;  // Linux: the folder's descriptor, for renameat and its fsync
  bool failed_ = false;
  std::uint64_t size_ = 0;
  FileProblem problem_ = FileProblem::None;
  unsigned long errorCode_ = 0;
};

// Flushes everything written to the file system holding `folder` to disk: the files committed
// with Durability::Batched and their renames. Linux: syncfs; Windows: nothing left to do.
void SyncFileSystem(const Folder& folder);

// Writes `content` as the whole of `path` through a ReplacingFile; false when it could not.
bool ReplaceFileContent(const std::string& path, std::string_view content,
                        ReplacingFile::Access access = ReplacingFile::Access::Ordinary);

// Removes the temporary file `temporaryPath` if it is a file that no writer holds (one left by
// a crash). True when it was removed. A link of that name is left alone.
bool RemoveStrayTemporaryFile(const std::string& temporaryPath);
bool RemoveStrayTemporaryFile(const Folder& folder, const std::string& name);

// The files below `root` whose names end in kTemporarySuffix, as paths relative to `root`
// joined with "/". Folders reached through a link are not entered; unreadable folders are
// skipped.
std::vector<std::string> FindTemporaryFiles(const std::string& root);

}  // namespace platform
