// The hand-over procedure itself, over injected operations: a new launcher, started with
// --upgrade under its versioned name, removes the old launcher files beside it, takes the name
// Launcher.exe and starts itself again under that name. HandleUpgradeMode runs it against the
// system; tests run it against a recording stand-in.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/launcher_files.h"
#include "platform/process.h"

namespace upgrade {

inline constexpr char kLogName[] = "HandleUpgradeMode";
inline constexpr char kTargetName[] = "Launcher.exe";
inline constexpr char kSearchPattern[] = "Launcher*.exe";
inline constexpr unsigned kFirstWaitMs = 500;  // lets the old launcher end
inline constexpr int kDeleteAttempts = 10;
inline constexpr unsigned kDeleteRetryWaitMs = 200;

struct HandOverPaths {
  std::string ownPath;  // the running executable
  std::string folder;   // ownPath up to and including its last separator; empty without one
  std::string ownName;  // ownPath after its last separator
  std::string target;   // folder + "Launcher.exe"
};

HandOverPaths HandOverPathsFor(const std::string& ownPath, char separator);

// Equality of two texts that ignores the case of the letters A to Z only; every other byte,
// those of non-ASCII letters included, must be equal.
bool SameIgnoringAsciiCase(std::string_view a, std::string_view b);

struct HandOverOperations {
  std::function<void(unsigned milliseconds)> sleep;
  std::function<std::vector<std::string>(const std::string& folder, const std::string& pattern)>
      list;
  std::function<bool(const std::string& path)> deleteFile;
  std::function<platform::RenameResult(const std::string& from, const std::string& to)> rename;
  std::function<platform::StartResult(const platform::CommandLine& commandLine,
                                      const std::string& workingFolder)>
      start;
};

// True: go on with a normal start in this process (already named Launcher.exe, or the rename
// failed). False: the file now is Launcher.exe and this process must end, whether or not the
// restart under that name could be started.
bool RunHandOver(const HandOverPaths& paths, const HandOverOperations& operations);

}  // namespace upgrade
