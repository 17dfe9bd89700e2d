#include "launcher/upgrade_handover.h"

#include "log/log.h"

namespace upgrade {

namespace {

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Up to kDeleteAttempts tries, kDeleteRetryWaitMs after each failed one (the last included): an
// old launcher that is still ending, or a virus scanner, may hold the file for a moment.
void DeleteOldLauncher(const std::string& candidate, const HandOverOperations& operations) {
  LogInfoAs(kLogName, "Deleting old launcher: %s", candidate.c_str());
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    if (operations.deleteFile(candidate)) {
      LogInfoAs(kLogName, "Deleted: %s", candidate.c_str());
      return;
    }
    operations.sleep(kDeleteRetryWaitMs);
  }
}

void DeleteOldLaunchers(const HandOverPaths& paths, const HandOverOperations& operations) {
  for (const std::string& name : operations.list(paths.folder, kSearchPattern)) {
    const std::string candidate = paths.folder + name;
    if (SameIgnoringAsciiCase(candidate, paths.ownPath)) continue;
    DeleteOldLauncher(candidate, operations);
  }
}

}  // namespace

HandOverPaths HandOverPathsFor(const std::string& ownPath, char separator) {
  HandOverPaths paths;
  paths.ownPath = ownPath;
  const std::size_t last = ownPath.rfind(separator);
  paths.folder = last == std::string::npos ? std::string() : ownPath.substr(0, last + 1);
  paths.ownName = ownPath.substr(paths.folder.size());
  paths.target = paths.folder + kTargetName;
  return paths;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

bool RunHandOver(const HandOverPaths& paths, const HandOverOperations& operations) {
  if (paths.ownPath.empty()) {
    // Without its own path the procedure would work on the working folder's files instead.
    LogErrorAs(kLogName, "Upgrade mode: own path unknown, starting normally");
    return true;
  }
  LogInfoAs(kLogName, "Upgrade mode: my path = %s", paths.ownPath.c_str());
  if (SameIgnoringAsciiCase(paths.ownName, kTargetName)) {
    LogInfoAs(kLogName, "Already named Launcher.exe, nothing to upgrade");
    return true;
  }
  operations.sleep(kFirstWaitMs);
  DeleteOldLaunchers(paths, operations);

  LogInfoAs(kLogName, "Renaming %s to %s", paths.ownPath.c_str(), paths.target.c_str());
  operations.deleteFile(paths.target);  // once more; whether it went is seen in the rename
  const platform::RenameResult renamed = operations.rename(paths.ownPath, paths.target);
  if (!renamed.renamed) {
    LogErrorAs(kLogName, "Failed to rename, error=%lu", renamed.errorCode);
    return true;
  }
  LogInfoAs(kLogName, "Rename successful, restarting as Launcher.exe");
  // Quoted, unlike the bare path: a folder with a space in its name must not let the system try
  // a shorter program path first.
  const platform::StartResult restarted =
      operations.start(platform::CommandLine{paths.target, {}, true}, paths.folder);
  if (!restarted.started) {
    LogErrorAs(kLogName, "Failed to restart as Launcher.exe, error=%lu", restarted.errorCode);
  }
  return false;
}

}  // namespace upgrade
