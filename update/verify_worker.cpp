// "Fix Client": check every file of the server's manifest and download again each one that is
// missing or differs.
#include "log/log.h"
#include "platform/file_ops.h"
#include "update/local_files.h"
#include "update/progress.h"
#include "update/update_manager.h"
#include "update/url_text.h"

namespace {

constexpr const char kWorkerName[] = "UpdateManager::VerifyWorker";
constexpr const char kCancelled[] = "Verification cancelled";

}  // namespace

void UpdateManager::VerifyWorker() {
  LogInfo("VerifyWorker started - Fix Client mode");
  SetStatus(UpdateState::Checking, 0, "Starting file verification...");
  const std::string text = DownloadToString(baseUrl + "manifest.json");
  if (text.empty()) return SetError("Failed to download manifest for verification");
  std::vector<ManifestEntry> entries;
  std::string manifestVersion;
  if (!LoadManifest(text, entries, manifestVersion)) return SetError("Failed to parse manifest");

  FileList damaged;
  if (!FindDamagedFiles(entries, damaged)) return;
  if (damaged.entries.empty()) {
    return SetStatus(UpdateState::Complete, 100, "All files verified successfully!");
  }
  LogInfo("Need to fix %zu files", damaged.entries.size());
  if (!RepairFiles(damaged)) return;
  SetStatus(UpdateState::Complete, 100, "All files fixed successfully!");
}

bool UpdateManager::FindDamagedFiles(const std::vector<ManifestEntry>& entries, FileList& damaged) {
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
    if (local.state == platform::PathState::Missing || local.hash != entry.hash) {
      damaged.Add(entry);
    }
    SetStatus(UpdateState::Verifying, progress::AfterVerify(i, entries.size()),
              "Verifying: " + entry.path);
  }
  return true;
}

bool UpdateManager::RepairFiles(const FileList& files) {
  const std::size_t count = files.entries.size();
  PublishPassTotals(static_cast<std::int32_t>(count), files.bytes);
  std::uint64_t bytesDone = 0;
  for (std::size_t j = 0; j < count; ++j) {
    if (CancelSeen(kCancelled)) return false;
    const ManifestEntry& entry = files.entries[j];
    const std::string localPath = LocalFilePath(launcherDir, entry.path);
    const std::string url = baseUrl + "files/" + EncodeUrlPath(entry.path);
    if (!CreateParentFolders(localPath)) {
      SetError("Failed to download: " + entry.path);
      return false;
    }
    SetStatus(UpdateState::Downloading, progress::BeforeRepair(j, count), "Fixing: " + entry.path);
    if (!DownloadToFile(url, localPath)) {
      SetError("Failed to download: " + entry.path);
      return false;
    }
    bytesDone += static_cast<std::uint64_t>(entry.size);
    PublishPassProgress(static_cast<std::int32_t>(j + 1), bytesDone);
  }
  return true;
}
