// The two ways the Linux hand-over renames without replacing, apart so that tests can take each.
#pragma once

#include <string>

namespace platform::posix {

// renameat2 with RENAME_NOREPLACE: 0, or the errno (EEXIST for an existing target, EINVAL where
// the file system does not offer the flag).
int RenameNoReplace(const std::string& from, const std::string& to);

// link(from, to), which never replaces, then unlink(from): 0, or the errno of the failed step
// (the link is taken back when the unlink fails).
int LinkThenUnlink(const std::string& from, const std::string& to);

}  // namespace platform::posix
