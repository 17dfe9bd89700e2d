// The game update and the repair pass: one procedure over the game client, told apart by their
// PassDescription. Check pass: every manifest entry is hashed against its installed copy. Install
// pass: each entry found missing or changed is downloaded beside its file and replaces it.
#include <exception>

#include "log/log.h"
#include "platform/file_ops.h"
#include "platform/safe_write.h"
#include "update/local_files.h"
#include "update/local_version.h"
#include "update/pass_description.h"
#include "update/signed_content.h"
#include "update/update_manager.h"
#include "update/version_documents.h"

void UpdateManager::UpdateWorker() {
  RunClientPass(kGameUpdatePass);
}

void UpdateManager::VerifyWorker() {
  RunClientPass(kRepairPass);
}

void UpdateManager::RunClientPass(const PassDescription& pass) {
  LogInfoAs(pass.workerName, "%s", pass.startedLine);
  SetStatus(UpdateState::Checking, 0, pass.firstStatus);

  GameVersionInfo server;
  std::string manifestUrl = baseUrl + "manifest.json";
  if (pass.readsVersionFiles) {
    if (!CheckGameVersion(pass, server)) return;
    manifestUrl = server.manifestUrl;
    SetStatus(UpdateState::Checking, 20, "Downloading file list...");
  }
  std::vector<ManifestEntry> entries;
  if (!FetchManifest(pass, manifestUrl, entries)) return;

  FileList work;
  if (!CheckFiles(pass, entries, work)) return;
  RemoveStrayTemporaryFiles(pass, work.entries);
  if (!work.entries.empty()) {
    LogInfoAs(pass.workerName, "%s", pass.announceWork(work.entries.size(), work.bytes).c_str());
    if (!InstallFiles(pass, work)) return;
  }
  if (pass.readsVersionFiles) {
    const std::string versionFile = launcherDir + "/local_version.txt";
    if (!WriteLocalVersion(versionFile, server.version)) {
      LogErrorAs(pass.workerName, "Cannot write %s", versionFile.c_str());
    }
  }
  if (work.entries.empty()) {
    SetStatus(pass.nothingToDoState, 100, pass.nothingToDo);
  } else {
    SetStatus(UpdateState::Complete, 100, pass.installed);
  }
}

// Compares the server's version with the installed one; false when the run ended (an error, a
// cancel, or the two agree).
bool UpdateManager::CheckGameVersion(const PassDescription& pass, GameVersionInfo& server) {
  if (!FetchGameVersion(pass, server)) return false;
  LogInfoAs(pass.workerName, "Server version: %s", server.version.c_str());
  const std::string localVersion = ReadLocalVersion(launcherDir + "/local_version.txt");
  const std::string shownVersion = localVersion.empty() ? "Unknown" : localVersion;
  PublishVersions(&shownVersion, nullptr);
  LogInfoAs(pass.workerName, "Local version: %s", localVersion.c_str());
  if (!localVersion.empty() && localVersion == server.version) {
    SetStatus(pass.nothingToDoState, 100, pass.nothingToDo);
    return false;
  }
  return true;
}

bool UpdateManager::FetchGameVersion(const PassDescription& pass, GameVersionInfo& server) {
  const std::string text = DownloadToString(baseUrl + "version.json");
  if (text.empty()) {
    SetError("Failed to check version: Cannot connect to update server");
    return false;
  }
  if (CancelSeen(pass.cancelled)) return false;
  try {
    server = ParseGameVersion(text, baseUrl + "manifest.json");
  } catch (const std::exception& error) {
    SetError(std::string("Failed to parse version info: ") + error.what());
    return false;
  }
  PublishVersions(nullptr, &server.version);
  return true;
}

bool UpdateManager::FetchManifest(const PassDescription& pass, const std::string& url,
                                  std::vector<ManifestEntry>& entries) {
  const std::string text = DownloadToString(url, manifestLimit);
  if (text.empty()) {
    SetError(pass.manifestDownloadFailed);
    return false;
  }
  // Fetched before the cancel check, so that a cancel during its transfer is seen there.
  const std::string signature = signingKey.empty() ? "" : DownloadToString(url + ".sig");
  if (pass.cancelCheckAfterManifest && CancelSeen(pass.cancelled)) return false;
  std::string manifestVersion;  // read by the parser, used by no pass
  if (!ManifestSignatureAccepted(pass, url + ".sig", text, signature) ||
      !LoadManifest(text, entries, manifestVersion)) {
    SetError("Failed to parse manifest");
    return false;
  }
  if (pass.logsFindings) LogInfoAs(pass.workerName, "Manifest contains %zu files", entries.size());
  return true;
}

// With a signing key built in, the manifest counts only with the key's signature over exactly
// the bytes that arrived; without one, every manifest counts.
bool UpdateManager::ManifestSignatureAccepted(const PassDescription& pass,
                                              const std::string& signatureUrl,
                                              const std::string& manifest,
                                              const std::string& signature) {
  if (signingKey.empty()) return true;
  const SignatureCheck check = CheckSignature(signingKey, manifest, signature);
  if (check != SignatureCheck::Valid) {
    LogErrorAs(pass.workerName, "Manifest signature %s: %s", DescribeSignatureCheck(check),
               signatureUrl.c_str());
    return false;
  }
  LogInfoAs(pass.workerName, "Manifest signature verified: %s", signatureUrl.c_str());
  return true;
}

bool UpdateManager::LoadManifest(const std::string& text, std::vector<ManifestEntry>& entries,
                                 std::string& version) {
  try {
    manifest::Parse(text, entries, version);
    return true;
  } catch (const std::exception& error) {
    LogError("LoadManifest error: %s", error.what());
    return false;
  }
}

bool UpdateManager::CheckFiles(const PassDescription& pass,
                               const std::vector<ManifestEntry>& entries, FileList& work) {
  if (pass.checkStart) SetStatus(UpdateState::Verifying, 30, pass.checkStart);
  const platform::Folder root = OpenGameFolder();
  LocalFileChecker checker(root);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (CancelSeen(pass.cancelled)) return false;
    const ManifestEntry& entry = entries[i];
    const LocalFileCheck local = checker.Check(entry.path);
    using State = LocalFileCheck::State;
    if (local.state == State::Error || local.state == State::Link) {
      const std::string localPath = LocalFilePath(launcherDir, entry.path);
      if (local.state == State::Link) {
        LogErrorAs(pass.workerName, "Cannot examine %s: %s", localPath.c_str(),
                   platform::DescribeProblem(local.problem));
      } else {
        LogErrorAs(pass.workerName, "Cannot examine %s: %lu", localPath.c_str(), local.errorCode);
      }
      SetError("Failed to download: " + entry.path);
      return false;
    }
    const bool missing = local.state == State::Missing;
    const bool changed = !missing && local.hash != entry.hash;
    if (pass.logsFindings && missing) {
      LogInfoAs(pass.workerName, "Missing: %s", entry.path.c_str());
    } else if (pass.logsFindings && changed) {
      LogInfoAs(pass.workerName, "Modified: %s (local=%s, server=%s)", entry.path.c_str(),
                local.hash.c_str(), entry.hash.c_str());
    }
    if (missing || changed) work.Add(entry);
    SetStatus(UpdateState::Verifying, pass.checkProgress(i, entries.size()),
              pass.checkPrefix + entry.path);
  }
  return true;
}

platform::Folder UpdateManager::OpenGameFolder() const {
  platform::FileStatus found;
  return platform::Folder::OpenRoot(launcherDir, found);
}

void UpdateManager::RemoveStrayTemporaryFiles(const PassDescription& pass,
                                              const std::vector<ManifestEntry>& downloads) {
  const platform::Folder root = OpenGameFolder();
  const std::vector<std::string> temporary = platform::FindTemporaryFiles(launcherDir);
  for (const std::string& stray : StrayTemporaryFiles(temporary, downloads)) {
    platform::FileStatus found;
    const platform::Folder folder = root.Enter(FolderPart(stray), false, found);
    if (platform::RemoveStrayTemporaryFile(folder, NamePart(stray))) {
      LogInfoAs(pass.workerName, "Removed leftover temporary file %s", stray.c_str());
    }
  }
}

bool UpdateManager::InstallFiles(const PassDescription& pass, const FileList& files) {
  PublishPassTotals(static_cast<std::int32_t>(files.entries.size()), files.bytes);
  if (pass.installStart) SetStatus(UpdateState::Downloading, 50, pass.installStart);
  const platform::Folder root = OpenGameFolder();
  const bool installed = InstallEach(pass, root, files);
  // The files were committed without a flush each (a flush per file made a 10,000-file update
  // twenty times slower); one flush of the file system puts them all on disk before the version
  // that vouches for them is recorded. Until then a crash can only damage files that were being
  // replaced anyway, and the unrecorded version makes the next run check them all again.
  platform::SyncFileSystem(root);
  return installed;
}

bool UpdateManager::InstallEach(const PassDescription& pass, const platform::Folder& root,
                                const FileList& files) {
  const std::size_t count = files.entries.size();
  std::uint64_t bytesDone = 0;
  for (std::size_t k = 0; k < count; ++k) {
    if (CancelSeen(pass.cancelled)) return false;
    const ManifestEntry& entry = files.entries[k];
    platform::FileStatus found;
    const platform::Folder folder = root.Enter(FolderPart(entry.path), true, found);
    if (!folder.IsOpen()) {
      LogErrorAs(pass.workerName, "Cannot write %s: %s",
                 LocalFilePath(launcherDir, entry.path).c_str(),
                 platform::DescribeProblem(found.problem));
      SetError("Failed to download: " + entry.path);
      return false;
    }
    SetStatus(UpdateState::Downloading, pass.installProgress(k, count),
              pass.installPrefix + entry.path);
    if (!InstallFile(pass, folder, entry, static_cast<std::int32_t>(k), bytesDone)) return false;
    bytesDone += static_cast<std::uint64_t>(entry.size);
    PublishPassProgress(static_cast<std::int32_t>(k + 1), bytesDone);
  }
  return true;
}
