// Where the engine keeps things on disk and the small file steps around its downloads. Paths are
// UTF-8 byte strings joined with "/".
#pragma once

#include <string>

#include "platform/file_ops.h"

// The installed copy of a manifest entry: `launcherDir` + "/" + `entryPath`.
std::string LocalFilePath(const std::string& launcherDir, const std::string& entryPath);

// The temporary file a download to `path` is written to before it replaces `path`.
std::string TemporaryDownloadPath(const std::string& path);

// Creates every missing folder above `path`. False when one cannot be created (or a file stands
// where a folder belongs).
bool CreateParentFolders(const std::string& path);

// Removes the file if it is there; errors are ignored.
void RemoveFileQuietly(const std::string& path);

// What a worker learns about the installed copy of an entry: whether it is there and, when it
// can be read, its hash text (empty when it cannot be opened, a folder for example).
struct LocalFileCheck {
  platform::PathState state = platform::PathState::Missing;
  std::string hash;
  unsigned long errorCode = 0;  // with PathState::Error
};

// Hashes the file first and asks the file system about it only when it cannot be opened, so a
// file that is there costs no separate existence test.
LocalFileCheck CheckLocalFile(const std::string& path);
