// The launcher's one background engine: it brings the game client and the launcher itself up to
// date from the patch server on a worker thread and keeps a status block that the page polls.
//
// Threads: the main thread calls Instance, the start, cancel and status operations and
// ApplyLauncherUpdate; one worker thread at a time runs UpdateWorker, VerifyWorker or
// LauncherUpdateWorker. statusMutex guards `status` and is held only for short copies and stores.
//
// Where its members live: update_manager.cpp (state and status), client_passes.cpp (the game
// update and the repair pass, one check pass and one install pass shared by both),
// game_file_install.cpp (one game file's download, resumed where an earlier one stopped),
// patch_client.cpp (the patch-server client), launcher_update.cpp (the launcher's own update).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "update/document_checks.h"
#include "update/manifest.h"
#include "update/update_status.h"
#include "update/version_documents.h"

// Manifest entries picked for download, with the sum of their sizes.
struct FileList {
  std::vector<ManifestEntry> entries;
  std::uint64_t bytes = 0;

  void Add(const ManifestEntry& entry) {
    entries.push_back(entry);
    bytes += static_cast<std::uint64_t>(entry.size);
  }
};

struct PassDescription;
class FileProgress;
namespace platform {
class Folder;
class ReplacingFile;
}  // namespace platform

class UpdateManager {
 public:
  // The process's instance, aimed at the compiled-in patch server and this executable's folder.
  static UpdateManager& Instance();

  // An engine for `baseUrl` (ending in "/patch/") and the game folder `launcherDir` (UTF-8, no
  // trailing separator). The product uses Instance(); tests make their own.
  UpdateManager(std::string baseUrl, std::string launcherDir);
  ~UpdateManager();  // raises the cancel flag and waits for the worker
  UpdateManager(const UpdateManager&) = delete;
  UpdateManager& operator=(const UpdateManager&) = delete;

  void SetStatus(UpdateState state, std::int32_t progress, const std::string& message);
  void SetError(const std::string& error);
  std::string GetStatusJson();
  // A copy of the status block, taken under its lock.
  UpdateStatus CopyStatus() const;

  void CheckUpdate();
  void FixClient();
  void CheckLauncherUpdate();
  void CancelUpdate();
  // Whether a downloaded launcher waits to be started; read without the lock.
  bool IsLauncherUpdateReady() const { return launcherUpdateReady.load(); }
  // Starts the downloaded launcher with --upgrade and ends this process; false when it cannot.
  bool ApplyLauncherUpdate();

  // Patch server transfers; all read cancelRequested after every piece of the body. A document
  // longer than `limit` stops downloading there and counts as a failed download.
  bool DownloadToMemory(const std::string& url, std::vector<std::uint8_t>& out,
                        std::size_t limit = kVersionDocumentLimit);
  std::string DownloadToString(const std::string& url, std::size_t limit = kVersionDocumentLimit);
  bool DownloadToFile(const std::string& url, const std::string& path);

  bool LoadManifest(const std::string& text, std::vector<ManifestEntry>& entries,
                    std::string& version);

  void UpdateWorker();
  void VerifyWorker();
  void LauncherUpdateWorker();

 private:
  friend struct UpdateManagerTestAccess;  // tests: join the worker, hold the status lock

  using WorkerEntry = void (UpdateManager::*)();
  void StartWorker(WorkerEntry entry);

  // Sees each piece of a file download before it is written; false stops the transfer.
  using PieceCheck = std::function<bool(const char* data, std::size_t size)>;
  // Downloads into the ReplacingFile that `open` makes once the server's answer is good, and
  // returns it ready to commit, or nullptr when the transfer failed, was cancelled or was
  // stopped by `check` (the temporary file is then gone).
  using FileOpener = std::function<std::unique_ptr<platform::ReplacingFile>()>;
  std::unique_ptr<platform::ReplacingFile> DownloadToReplacingFile(const std::string& url,
                                                                   const FileOpener& open,
                                                                   const PieceCheck& check);

  // How a transfer into an open temporary file ended.
  enum class PartTransfer {
    Complete,      // the body arrived whole and is written
    Failed,        // broke off, cancelled, refused or not stored (logged); what came is written
    RangeRefused,  // the server would not send the rest asked for; nothing was written
  };
  // Downloads `url` into `file`. When the file holds bytes already, only the rest is asked for
  // and appended; a server that sends the whole file instead has the file emptied first and
  // `startOver` called. `check` sees each piece before it is written.
  PartTransfer DownloadIntoFile(const std::string& url, platform::ReplacingFile& file,
                                const std::function<void()>& startOver, const PieceCheck& check);

  // Status block stores that are not a whole SetStatus.
  void PublishVersions(const std::string* current, const std::string* latest);
  void PublishPassTotals(std::int32_t files, std::uint64_t bytes);
  void PublishPassProgress(std::int32_t files, std::uint64_t bytes);
  // True (and the state Idle with `message`) when a cancel was requested.
  bool CancelSeen(const char* message);

  // The game update and the repair pass are one procedure described by `pass`. Each step
  // returns false when it ended the run with a final state.
  void RunClientPass(const PassDescription& pass);
  bool CheckGameVersion(const PassDescription& pass, GameVersionInfo& server);
  bool FetchGameVersion(const PassDescription& pass, GameVersionInfo& server);
  bool FetchManifest(const PassDescription& pass, const std::string& url,
                     std::vector<ManifestEntry>& entries);
  bool ManifestSignatureAccepted(const PassDescription& pass, const std::string& signatureUrl,
                                 const std::string& manifest, const std::string& signature);
  bool CheckFiles(const PassDescription& pass, const std::vector<ManifestEntry>& entries,
                  FileList& work);
  // Removes the temporary files in the game folder that no download of this pass continues:
  // those of entries the manifest no longer lists and of entries found current.
  void RemoveStrayTemporaryFiles(const PassDescription& pass,
                                 const std::vector<ManifestEntry>& downloads);
  bool InstallFiles(const PassDescription& pass, const FileList& files);
  bool InstallEach(const PassDescription& pass, const platform::Folder& root,
                   const FileList& files);
  bool InstallFile(const PassDescription& pass, const platform::Folder& folder,
                   const ManifestEntry& entry, std::int32_t filesDone, std::uint64_t bytesDone);
  // One attempt at a game file, continuing what its temporary file holds when `resume` allows.
  enum class FileAttempt { Installed, Failed, Corrupted, AgainWhole };
  FileAttempt TryInstallFile(const PassDescription& pass, const platform::Folder& folder,
                             const ManifestEntry& entry, bool resume, FileProgress& progress);
  // The game folder, the root below which no link is followed.
  platform::Folder OpenGameFolder() const;

  std::string baseUrl;
  std::string launcherDir;
  std::string launcherUpdatePath;
  std::string launcherVersion;
  // The public key publications must be signed with (common/build_config.h); empty: none.
  std::string signingKey;
  // Written by the launcher worker before it publishes LauncherUpdateReady; read by the bridge
  // without the lock.
  std::atomic<bool> launcherUpdateReady{false};
  std::thread worker;
  mutable std::mutex statusMutex;
  std::atomic<bool> cancelRequested{false};
  UpdateStatus status;
  std::size_t manifestLimit = kManifestLimit;  // tests lower it to stream less
};
