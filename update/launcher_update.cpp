// The launcher's own update: fetch a newer launcher beside this one, then hand over to it.
#include <exception>

#include "log/log.h"
#include "platform/file_ops.h"
#include "platform/path_separator.h"
#include "platform/process.h"
#include "update/compare_versions.h"
#include "update/update_manager.h"
#include "update/version_documents.h"

namespace {

constexpr const char kUpToDate[] = "Launcher is up to date";

// The server's version becomes part of a file name: only letters, digits and . - _ + may appear,
// so the name can never point into another folder.
bool IsUsableInFileName(const std::string& version) {
  if (version.empty()) return false;
  for (const char c : version) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_' || c == '+';
    if (!plain) return false;
  }
  return true;
}

// The folder of `path` with its final separator, or "" when it has none.
std::string FolderOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace

void UpdateManager::LauncherUpdateWorker() {
  LogInfo("LauncherUpdateWorker started");
  SetStatus(UpdateState::Checking, 0, "Checking for launcher update...");
  const std::string text = DownloadToString(baseUrl + "launcher_version.json");
  if (text.empty()) return SetStatus(UpdateState::UpToDate, 100, kUpToDate);
  LauncherVersionInfo server;
  try {
    server = ParseLauncherVersion(text);
  } catch (const std::exception& error) {
    LogError("Failed to parse launcher version: %s", error.what());
    return SetStatus(UpdateState::UpToDate, 100, kUpToDate);
  }
  LogInfo("Launcher server version: %s, local: %s", server.version.c_str(),
          launcherVersion.c_str());
  const int comparison = CompareVersions(server.version, launcherVersion);
  if (server.version.empty() || comparison <= 0) {
    LogInfo("Launcher is up to date (server=%s, local=%s, cmp=%d)", server.version.c_str(),
            launcherVersion.c_str(), comparison);
    return SetStatus(UpdateState::UpToDate, 100, kUpToDate);
  }
  LogInfo("Launcher update available: %s -> %s", launcherVersion.c_str(), server.version.c_str());
  SetStatus(UpdateState::Downloading, 20, "Downloading launcher update...");
  if (!IsUsableInFileName(server.version)) {
    LogError("Launcher version is not usable in a file name: %s", server.version.c_str());
    return SetError("Failed to download launcher update");
  }
  launcherUpdatePath =
      launcherDir + platform::PathSeparator() + "Launcher_v" + server.version + ".exe";
  if (!DownloadToFile(server.launcherUrl, launcherUpdatePath) ||
      !platform::MarkExecutable(launcherUpdatePath)) {
    return SetError("Failed to download launcher update");
  }
  launcherUpdateReady.store(true);
  SetStatus(UpdateState::LauncherUpdateReady, 100,
            "Launcher update ready. Click to apply and restart.");
}

bool UpdateManager::ApplyLauncherUpdate() {
  // The path is read only once the flag shows the worker has finished writing it.
  if (!launcherUpdateReady.load() || launcherUpdatePath.empty()) {
    LogError("No launcher update ready to apply");
    return false;
  }
  if (platform::QueryPath(launcherUpdatePath).state == platform::PathState::Missing) {
    LogError("New launcher not found at %s", launcherUpdatePath.c_str());
    return false;
  }
  const platform::CommandLine commandLine{launcherUpdatePath, {"--upgrade"}, true};
  LogInfo("Launching new launcher with upgrade: %s",
          platform::FormatCommandLine(commandLine).c_str());
  const platform::StartResult started =
      platform::StartProcess(commandLine, FolderOf(launcherUpdatePath));
  if (!started.started) {
    LogError("Failed to launch new launcher, error=%lu", started.errorCode);
    return false;
  }
  LogInfo("New launcher started, exiting current launcher...");
  platform::ExitProcessNow(0);
}
