// File operations of the update engine that differ between the systems. Paths are UTF-8.
#pragma once

#include <string>

namespace platform {

enum class PathState {
  Exists,   // a file, folder or anything else is there
  Missing,  // the not-found family: no such file or path, a bad network path, an invalid name
  Error,    // the system could not tell (access denied, I/O error, ...)
};

struct PathQuery {
  PathState state = PathState::Missing;
  unsigned long errorCode = 0;  // GetLastError or errno when state is Error
};

PathQuery QueryPath(const std::string& path);

// Moves the file `from` to `to` in one step, replacing a file already at `to`. Fails (false)
// when `to` is a folder. Windows: MoveFileExW with MOVEFILE_REPLACE_EXISTING; Linux: rename.
bool MoveFileReplacing(const std::string& from, const std::string& to);

// Lets the file be started as a program: adds the execute bits on Linux; nothing on Windows.
bool MarkExecutable(const std::string& path);

}  // namespace platform
