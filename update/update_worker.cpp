// The game update: compare the installed version with the server's and, when they differ, bring
// every file of the manifest up to date.
#include <exception>

#include "log/log.h"
#include "platform/file_ops.h"
#include "update/file_hash.h"
#include "update/local_files.h"
#include "update/local_version.h"
#include "update/progress.h"
#include "update/update_manager.h"
#include "update/url_text.h"
#include "update/version_documents.h"

namespace {

constexpr const char kWorkerName[] = "UpdateManager::UpdateWorker";
constexpr const char kCancelled[] = "Update cancelled";

}  // namespace

void UpdateManager::UpdateWorker() {
  LogInfo("UpdateWorker started");
  SetStatus(UpdateState::Checking, 0, "Checking for updates...");

  GameVersionInfo server;
  if (!FetchGameVersion(server)) return;
  LogInfo("Server version: %s", server.version.c_str());

  const std::string versionFile = launcherDir + "/local_version.txt";
  const std::string localVersion = ReadLocalVersion(versionFile);
  const std::string shownVersion = localVersion.empty() ? "Unknown" : localVersion;
  PublishVersions(&shownVersion, nullptr);
  LogInfo("Local version: %s", localVersion.c_str());
  if (!localVersion.empty() && localVersion == server.version) {
    SetStatus(UpdateState::UpToDate, 100, "Game is up to date");
    return;
  }

  SetStatus(UpdateState::Checking, 20, "Downloading file list...");
  const std::string manifestText = DownloadToString(server.manifestUrl);
  if (manifestText.empty()) return SetError("Failed to download manifest");
  if (CancelSeen(kCancelled)) return;
  std::vector<ManifestEntry> entries;
  std::string manifestVersion;
  if (!LoadManifest(manifestText, entries, manifestVersion)) {
    return SetError("Failed to parse manifest");
  }
  LogInfo("Manifest contains %zu files", entries.size());

  FileList outdated;
  if (!FindOutdatedFiles(entries, outdated)) return;
  if (!outdated.entries.empty()) {
    LogInfo("Need to update %zu files, total size: %llu bytes", outdated.entries.size(),
            static_cast<unsigned long long>(outdated.bytes));
    if (!InstallFiles(outdated)) return;
  }
  if (!WriteLocalVersion(versionFile, server.version)) {
    LogError("Cannot write %s", versionFile.c_str());
  }
  if (outdated.entries.empty()) {
    SetStatus(UpdateState::UpToDate, 100, "Game is up to date");
  } else {
    SetStatus(UpdateState::Complete, 100, "Update complete! Ready to play");
  }
}

bool UpdateManager::FetchGameVersion(GameVersionInfo& server) {
  const std::string text = DownloadToString(baseUrl + "version.json");
  if (text.empty()) {
    SetError("Failed to check version: Cannot connect to update server");
    return false;
  }
  if (CancelSeen(kCancelled)) return false;
  try {
    server = ParseGameVersion(text, baseUrl + "manifest.json");
  } catch (const std::exception& error) {
    SetError(std::string("Failed to parse version info: ") + error.what());
    return false;
  }
  PublishVersions(nullptr, &server.version);
  return true;
}

bool UpdateManager::FindOutdatedFiles(const std::vector<ManifestEntry>& entries,
                                      FileList& outdated) {
  SetStatus(UpdateState::Verifying, 30, "Checking local files...");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (CancelSeen(kCancelled)) return false;
    const ManifestEntry& entry = entries[i];
    const std::string localPath = LocalFilePath(launcherDir, entry.path);
    const LocalFileCheck local = CheckLocalFile(localPath);
    if (local.state == platform::PathState::Error) {
      LogErrorAs(kWorkerName, "Cannot examine %s: %lu", localPath.c_str(), local.errorCode);
      SetError("Failed to download: " + entry.path);
      return false;
    }
    bool outdatedEntry = local.state == platform::PathState::Missing;
    if (outdatedEntry) {
      LogInfoAs(kWorkerName, "Missing: %s", entry.path.c_str());
    } else if (local.hash != entry.hash) {
      LogInfoAs(kWorkerName, "Modified: %s (local=%s, server=%s)", entry.path.c_str(),
                local.hash.c_str(), entry.hash.c_str());
      outdatedEntry = true;
    }
    if (outdatedEntry) outdated.Add(entry);
    SetStatus(UpdateState::Verifying, progress::AfterLocalCheck(i, entries.size()),
              "Checking: " + entry.path);
  }
  return true;
}

bool UpdateManager::InstallFiles(const FileList& files) {
  const std::size_t count = files.entries.size();
  PublishPassTotals(static_cast<std::int32_t>(count), files.bytes);
  SetStatus(UpdateState::Downloading, 50, "Downloading updates...");
  std::uint64_t bytesDone = 0;
  for (std::size_t k = 0; k < count; ++k) {
    if (CancelSeen(kCancelled)) return false;
    const ManifestEntry& entry = files.entries[k];
    const std::string localPath = LocalFilePath(launcherDir, entry.path);
    if (!CreateParentFolders(localPath)) {
      SetError("Failed to download: " + entry.path);
      return false;
    }
    SetStatus(UpdateState::Downloading, progress::BeforeDownload(k, count),
              "Downloading: " + entry.path);
    if (!InstallVerified(entry, localPath)) return false;
    bytesDone += static_cast<std::uint64_t>(entry.size);
    PublishPassProgress(static_cast<std::int32_t>(k + 1), bytesDone);
  }
  return true;
}

// The download replaces the installed file only when its hash is the manifest's.
bool UpdateManager::InstallVerified(const ManifestEntry& entry, const std::string& localPath) {
  const std::string url = baseUrl + "files/" + EncodeUrlPath(entry.path);
  const std::string temporary = DownloadToTemporaryFile(url, localPath);
  if (temporary.empty()) {
    SetError("Failed to download: " + entry.path);
    return false;
  }
  if (HashFile(temporary) != entry.hash) {
    RemoveFileQuietly(temporary);
    SetError("Downloaded file corrupted: " + entry.path);
    return false;
  }
  if (!platform::MoveFileReplacing(temporary, localPath)) {
    RemoveFileQuietly(temporary);
    SetError("Failed to download: " + entry.path);
    return false;
  }
  return true;
}
