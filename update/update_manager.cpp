// The engine's state and status: the instance, the status block and its setters, and starting
// and cancelling workers.
#include "update/update_manager.h"

#include <system_error>

#include "common/build_config.h"
#include "log/log.h"
#include "platform/http_client.h"
#include "platform/launcher_directory.h"

UpdateManager& UpdateManager::Instance() {
  static UpdateManager instance(build_config::kPatchUrl, GetLauncherDirectory());
  return instance;
}

UpdateManager::UpdateManager(std::string baseUrl_, std::string launcherDir_)
    : baseUrl(std::move(baseUrl_)),
      launcherDir(std::move(launcherDir_)),
      launcherVersion(build_config::kLauncherVersion),
      signingKey(build_config::kSigningKey) {}

UpdateManager::~UpdateManager() {
  cancelRequested.exchange(true);
  if (worker.joinable()) worker.join();
}

void UpdateManager::SetStatus(UpdateState state, std::int32_t progress,
                              const std::string& message) {
  {
    std::lock_guard lock(statusMutex);
    status.state = state;
    status.progress = progress;
    status.message = message;
    status.canStart = CanStartIn(state);
  }
  // Logged after the lock is released: the page's status poll never waits for the log viewer.
  LogInfo("UpdateManager: %s (%d%%)", message.c_str(), progress);
}

void UpdateManager::SetError(const std::string& error) {
  {
    std::lock_guard lock(statusMutex);
    status.state = UpdateState::Error;
    status.progress = 0;
    status.message = "Update failed";
    status.errorDetail = error;
    status.canStart = true;
  }
  LogError("UpdateManager error: %s", error.c_str());
}

std::string UpdateManager::GetStatusJson() {
  LogInfoAs("API_GetUpdateStatus", "GetUpdateStatus called");
  return FormatStatusReport(CopyStatus());
}

UpdateStatus UpdateManager::CopyStatus() const {
  std::lock_guard lock(statusMutex);
  return status;
}

void UpdateManager::CheckUpdate() {
  StartWorker(&UpdateManager::UpdateWorker);
}

void UpdateManager::FixClient() {
  StartWorker(&UpdateManager::VerifyWorker);
}

void UpdateManager::CheckLauncherUpdate() {
  StartWorker(&UpdateManager::LauncherUpdateWorker);
}

void UpdateManager::CancelUpdate() {
  cancelRequested.exchange(true);
}

void UpdateManager::StartWorker(WorkerEntry entry) {
  {
    std::lock_guard lock(statusMutex);
    if (!AcceptsNewWorker(status.state)) return;
    // Claimed at once, so that a second request before the worker's first status finds it busy.
    status.state = UpdateState::Checking;
    status.canStart = false;
  }
  // The previous worker has written its final state and is returning: the wait is short.
  if (worker.joinable()) worker.join();
  cancelRequested.exchange(false);
  try {
    // The pass's requests share one connection to the patch server.
    worker = std::thread([this, entry] {
      const platform::HttpConnectionScope connections;
      (this->*entry)();
    });
  } catch (const std::system_error& error) {
    SetError(std::string("Failed to start the update worker: ") + error.what());
  }
}

void UpdateManager::PublishVersions(const std::string* current, const std::string* latest) {
  std::lock_guard lock(statusMutex);
  if (current) status.currentVersion = *current;
  if (latest) status.latestVersion = *latest;
}

void UpdateManager::PublishPassTotals(std::int32_t files, std::uint64_t bytes) {
  std::lock_guard lock(statusMutex);
  status.filesTotal = files;
  status.filesComplete = 0;
  status.bytesTotal = bytes;
  status.bytesComplete = 0;
}

void UpdateManager::PublishPassProgress(std::int32_t files, std::uint64_t bytes) {
  std::lock_guard lock(statusMutex);
  status.filesComplete = files;
  status.bytesComplete = bytes;
}

bool UpdateManager::CancelSeen(const char* message) {
  if (!cancelRequested.load()) return false;
  SetStatus(UpdateState::Idle, 0, message);
  return true;
}
