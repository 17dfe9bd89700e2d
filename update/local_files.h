// Where the engine keeps things on disk and what it learns about the installed files. Paths are
// UTF-8 byte strings joined with "/"; entry paths are relative to the game folder, which is
// entered without following links (platform/file_access.h).
#pragma once

#include <string>
#include <vector>

#include "platform/file_access.h"
#include "update/manifest.h"

// The installed copy of a manifest entry: `launcherDir` + "/" + `entryPath`.
std::string LocalFilePath(const std::string& launcherDir, const std::string& entryPath);

// The folder part of a "/"-joined path ("" when it has none) and its last component.
std::string FolderPart(const std::string& path);
std::string NamePart(const std::string& path);

// What a worker learns about the installed copy of an entry.
struct LocalFileCheck {
  enum class State {
    Present,  // something stands there; `hash` is its hash text, empty when it is not a
              // readable regular file (a folder, a pipe, an unreadable file)
    Missing,  // nothing there, or a file stands where one of its folders belongs
    Link,     // a symbolic link is on its way: it is never followed
    Error,    // the system could not tell (`problem`, `errorCode`)
  };
  State state = State::Missing;
  std::string hash;
  platform::FileProblem problem = platform::FileProblem::None;
  unsigned long errorCode = 0;
};

// Looks at installed entries below the game folder `root`, one after another, and hashes each
// that is a file. The folder of the last entry stays open: a manifest lists the files of a folder
// together, so most entries cost no walk from the root.
class LocalFileChecker {
 public:
  explicit LocalFileChecker(const platform::Folder& root) : root_(root) {}
  LocalFileCheck Check(const std::string& entryPath);

 private:
  const platform::Folder& root_;
  bool entered_ = false;
  std::string folderPath_;
  platform::Folder folder_;
  platform::FileStatus folderStatus_;
};

// The temporary files among `found` (paths relative to the game folder, "/"-joined) that belong
// to no entry of `entries`: left by a crash, a broken-off or cancelled download, or by a file
// the server no longer lists. A temporary file of an entry in `entries` is left to that entry's
// download, which continues it.
std::vector<std::string> StrayTemporaryFiles(const std::vector<std::string>& found,
                                             const std::vector<ManifestEntry>& entries);
