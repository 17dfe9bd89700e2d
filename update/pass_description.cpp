#include "update/pass_description.h"

#include "update/progress.h"

namespace {

std::string AnnounceUpdate(std::size_t files, std::uint64_t bytes) {
  return "Need to update " + std::to_string(files) +
         " files, total size: " + std::to_string(bytes) + " bytes";
}

std::string AnnounceRepair(std::size_t files, std::uint64_t) {
  return "Need to fix " + std::to_string(files) + " files";
}

}  // namespace

const PassDescription kGameUpdatePass{
    .workerName = "UpdateManager::UpdateWorker",
    .startedLine = "UpdateWorker started",
    .firstStatus = "Checking for updates...",
    .cancelled = "Update cancelled",
    .readsVersionFiles = true,
    .manifestDownloadFailed = "Failed to download manifest",
    .cancelCheckAfterManifest = true,
    .logsFindings = true,
    .checkStart = "Checking local files...",
    .checkPrefix = "Checking: ",
    .checkProgress = progress::AfterLocalCheck,
    .nothingToDoState = UpdateState::UpToDate,
    .nothingToDo = "Game is up to date",
    .announceWork = AnnounceUpdate,
    .installStart = "Downloading updates...",
    .installPrefix = "Downloading: ",
    .installProgress = progress::BeforeDownload,
    .installed = "Update complete! Ready to play",
};

const PassDescription kRepairPass{
    .workerName = "UpdateManager::VerifyWorker",
    .startedLine = "VerifyWorker started - Fix Client mode",
    .firstStatus = "Starting file verification...",
    .cancelled = "Verification cancelled",
    .readsVersionFiles = false,
    .manifestDownloadFailed = "Failed to download manifest for verification",
    .cancelCheckAfterManifest = false,
    .logsFindings = false,
    .checkStart = nullptr,
    .checkPrefix = "Verifying: ",
    .checkProgress = progress::AfterVerify,
    .nothingToDoState = UpdateState::Complete,
    .nothingToDo = "All files verified successfully!",
    .announceWork = AnnounceRepair,
    .installStart = nullptr,
    .installPrefix = "Fixing: ",
    .installProgress = progress::BeforeRepair,
    .installed = "All files fixed successfully!",
};
