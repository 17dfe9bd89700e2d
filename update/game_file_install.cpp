// Installing one game file. The download goes to the temporary file beside the installed one and
// replaces it only when it arrived whole and its hash is the manifest's: a broken-off transfer,
// an error page or a wrong body never counts as installed or repaired.
//
// A download that stops early (broken off, cancelled, the window closed, the process killed)
// leaves its temporary file, and the next pass that needs the file asks only for the rest (a
// Range request) and appends it. Only files with a manifest hash and size are resumed, so a wrong
// append is always caught: the whole file is then fetched once more, from its start.
#include <algorithm>
#include <chrono>
#include <functional>

#include "log/log.h"
#include "platform/safe_write.h"
#include "update/file_hash.h"
#include "update/local_files.h"
#include "update/pass_description.h"
#include "update/update_manager.h"
#include "update/url_text.h"

// The pass's bytesComplete while one file transfers: at most ten updates a second, never past
// the file's manifest size and never below a count shown before, so the count stays within the
// pass's total and never goes back (not even when a resumed file starts over).
class FileProgress {
 public:
  FileProgress(std::uint64_t expected, std::function<void(std::uint64_t)> publish)
      : expected_(expected), publish_(std::move(publish)) {}

  // `received` bytes of the file are there; `now` publishes without waiting for the interval.
  void Show(std::uint64_t received, bool now = false) {
    const auto time = std::chrono::steady_clock::now();
    if (!now && time - lastShown_ < kInterval) return;
    lastShown_ = time;
    shown_ = std::max(shown_, std::min(received, expected_));
    publish_(shown_);
  }

 private:
  static constexpr std::chrono::milliseconds kInterval{100};
  std::uint64_t expected_;
  std::function<void(std::uint64_t)> publish_;
  std::uint64_t shown_ = 0;
  std::chrono::steady_clock::time_point lastShown_ = std::chrono::steady_clock::now();
};

namespace {

// Whether a download of `entry` may continue a temporary file: its hash catches a wrong append
// and its size tells a temporary file that cannot be a beginning of it.
bool Resumable(const ManifestEntry& entry) {
  return !entry.hash.empty() && entry.size > 0;
}

}  // namespace

bool UpdateManager::InstallFile(const PassDescription& pass, const platform::Folder& folder,
                                const ManifestEntry& entry, std::int32_t filesDone,
                                std::uint64_t bytesDone) {
  FileProgress progress(
      static_cast<std::uint64_t>(std::max<std::int64_t>(entry.size, 0)),
      [&](std::uint64_t bytes) { PublishPassProgress(filesDone, bytesDone + bytes); });
  FileAttempt attempt = TryInstallFile(pass, folder, entry, Resumable(entry), progress);
  if (attempt == FileAttempt::AgainWhole) {
    LogInfoAs(pass.workerName, "Downloading %s again from its start", entry.path.c_str());
    attempt = TryInstallFile(pass, folder, entry, false, progress);
  }
  switch (attempt) {
    case FileAttempt::Installed:
      return true;
    case FileAttempt::Corrupted:
      SetError("Downloaded file corrupted: " + entry.path);
      return false;
    case FileAttempt::Failed:
    case FileAttempt::AgainWhole:
      break;
  }
  SetError("Failed to download: " + entry.path);
  return false;
}

// A body longer than the manifest's size (when it gives one) is cut off and fails the file.
UpdateManager::FileAttempt UpdateManager::TryInstallFile(const PassDescription& pass,
                                                         const platform::Folder& folder,
                                                         const ManifestEntry& entry, bool resume,
                                                         FileProgress& progress) {
  using platform::ReplacingFile;
  const auto expected = static_cast<std::uint64_t>(std::max<std::int64_t>(entry.size, 0));
  ReplacingFile file(folder, NamePart(entry.path), ReplacingFile::Access::Ordinary,
                     resume ? ReplacingFile::Existing::Kept : ReplacingFile::Existing::Emptied);
  if (!file.IsOpen()) {
    LogErrorAs(pass.workerName, "Cannot write %s: %s", file.TemporaryPath().c_str(),
               platform::DescribeFailure(file.Problem(), file.ErrorCode()).c_str());
    return FileAttempt::Failed;
  }
  StreamingHash hash;
  if (file.Size() > 0) {
    // What an earlier download left is hashed as the beginning of the file, or, when it cannot
    // be one (as long as the file or longer) or cannot be read, dropped.
    platform::FileStatus opened;
    platform::ReadableFile kept =
        platform::ReadableFile::Open(folder, file.TemporaryName(), opened);
    if (file.Size() < expected && kept.IsOpen() && hash.UpdateFrom(kept, file.Size())) {
      LogInfoAs(pass.workerName, "Resuming %s at byte %llu of %llu", entry.path.c_str(),
                static_cast<unsigned long long>(file.Size()),
                static_cast<unsigned long long>(expected));
    } else {
      LogInfoAs(pass.workerName, "Dropped the partial download of %s (%llu bytes)",
                entry.path.c_str(), static_cast<unsigned long long>(file.Size()));
      hash.Reset();
      if (!file.Restart()) return FileAttempt::Failed;
    }
  }
  const std::uint64_t resumedAt = file.Size();
  std::uint64_t received = resumedAt;
  bool appended = resumedAt > 0;
  bool tooLong = false;
  if (resumedAt > 0) progress.Show(received, true);
  const PartTransfer transfer = DownloadIntoFile(
      baseUrl + "files/" + EncodeUrlPath(entry.path), file,
      [&] {
        LogInfoAs(pass.workerName, "The server sent all of %s, not the rest", entry.path.c_str());
        hash.Reset();
        received = 0;
        appended = false;
      },
      [&](const char* data, std::size_t size) {
        received += size;
        tooLong = expected > 0 && received > expected;
        if (tooLong) return false;
        hash.Update(data, size);
        progress.Show(received);
        return true;
      });
  if (tooLong) {
    LogErrorAs(pass.workerName, "%s: the server sent more than its manifest size of %llu bytes",
               entry.path.c_str(), static_cast<unsigned long long>(expected));
  }
  switch (transfer) {
    case PartTransfer::RangeRefused:
      file.Discard();
      return FileAttempt::AgainWhole;
    case PartTransfer::Failed:
      // Kept for the next pass to continue, unless what it holds is known to be wrong or the
      // disk refused it (full, read-only): then the space is given back.
      if (Resumable(entry) && !tooLong && file.Problem() == platform::FileProblem::None) {
        file.Keep();
      } else {
        file.Discard();
      }
      return FileAttempt::Failed;
    case PartTransfer::Complete:
      break;
  }
  if (hash.Text() != entry.hash) {
    file.Discard();
    if (appended) {
      LogInfoAs(pass.workerName, "%s does not match its hash after resuming at byte %llu",
                entry.path.c_str(), static_cast<unsigned long long>(resumedAt));
      return FileAttempt::AgainWhole;
    }
    return FileAttempt::Corrupted;
  }
  return file.Commit(ReplacingFile::Durability::Batched) ? FileAttempt::Installed
                                                         : FileAttempt::Failed;
}
