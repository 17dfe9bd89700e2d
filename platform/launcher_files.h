// The file operations of the upgrade hand-over: finding the launcher files of a folder, deleting
// one, and renaming the new launcher onto the fixed name without ever replacing a file. Paths and
// names are UTF-8.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Names (not paths) of the entries of `folder` that match `pattern`, files and folders alike, in
// the order the system lists them. `folder` ends in its separator, or is empty for the working
// folder. Windows: FindFirstFileW/FindNextFileW on folder + pattern, which ignores case. Linux:
// the folder's entries matched with fnmatch, which does not, as the file system does not.
std::vector<std::string> ListMatchingEntries(const std::string& folder, const std::string& pattern);

// Deletes one file (DeleteFileW, unlink). False when it is still there: a folder, a file that
// another program holds open (Windows), a missing right.
bool DeleteOneFile(const std::string& path);

struct RenameResult {
  bool renamed = false;
  // GetLastError or errno when not renamed; an existing target gives 183 (ERROR_ALREADY_EXISTS)
  // on Windows and 17 (EEXIST) on Linux.
  unsigned long errorCode = 0;
};

// Gives the file `from` the path `to`, failing when something is at `to` already. Windows:
// MoveFileW. Linux: renameat2 with RENAME_NOREPLACE, or, on a file system that does not offer
// it, a hard link at `to` (which fails on an existing target) and the removal of `from`.
RenameResult RenameWithoutReplacing(const std::string& from, const std::string& to);

// Blocks the calling thread for `milliseconds`.
void SleepMilliseconds(unsigned milliseconds);

}  // namespace platform
