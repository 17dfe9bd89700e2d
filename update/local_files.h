// Where the engine keeps things on disk and the small file steps around its downloads. Paths are
// UTF-8 byte strings joined with "/".
#pragma once

#include <string>
#include <vector>

#include "platform/file_ops.h"
#include "update/manifest.h"

// The installed copy of a manifest entry: `launcherDir` + "/" + `entryPath`.
std::string LocalFilePath(const std::string& launcherDir, const std::string& entryPath);

// The folder holding `path`: everything before its last "/".
std::string ParentFolder(const std::string& path);

// Creates every missing folder above `path`. False when one cannot be created (or a file stands
// where a folder belongs).
bool CreateParentFolders(const std::string& path);

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

// The temporary files among `found` (paths relative to the game folder, "/"-joined) that belong
// to no entry of `entries`: left by a crash, or by a file the server no longer lists. A temporary
// file of a listed entry is left to that entry's next download, which overwrites it.
std::vector<std::string> StrayTemporaryFiles(const std::vector<std::string>& found,
                                             const std::vector<ManifestEntry>& entries);
