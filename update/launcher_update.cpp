// The launcher's own update: fetch a newer launcher beside this one, then hand over to it.
#include <exception>
#include <filesystem>
#include <system_error>

#include "log/log.h"
#include "platform/file_ops.h"
#include "platform/path_separator.h"
#include "platform/process.h"
#include "platform/safe_write.h"
#include "update/compare_versions.h"
#include "update/file_hash.h"
#include "update/signed_content.h"
#include "update/update_manager.h"
#include "update/version_documents.h"

namespace {

constexpr const char kUpToDate[] = "Launcher is up to date";
constexpr const char kDownloadFailed[] = "Failed to download launcher update";

// The folder of `path` with its final separator, or "" when it has none.
std::string FolderOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// How the downloaded `file` differs from what launcher_version.json says of it; empty when it
// matches or the document says nothing.
std::string Mismatch(const std::string& file, const LauncherVersionInfo& expected) {
  if (expected.size) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(std::filesystem::u8path(file), error);
    if (error || size != *expected.size) {
      return "size " + (error ? std::string("unknown") : std::to_string(size)) + ", expected " +
             std::to_string(*expected.size);
    }
  }
  if (!expected.hash.empty()) {
    const std::string hash = HashFile(file);
    if (hash != expected.hash) return "hash " + hash + ", expected " + expected.hash;
  }
  return {};
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
  if (!IsUsableLauncherVersion(server.version)) {
    LogError("Launcher version is not usable in a file name: %s", server.version.c_str());
    return SetError(kDownloadFailed);
  }
  // With a signing key built in, a launcher that names no usable signature is not even fetched.
  if (const auto problem =
          signingKey.empty() ? std::nullopt : SignatureProblem(signingKey, server.signature)) {
    LogError("Launcher signature %s: %s", DescribeSignatureCheck(*problem),
             server.launcherUrl.c_str());
    return SetError(kDownloadFailed);
  }
  launcherUpdatePath =
      launcherDir + platform::PathSeparator() + "Launcher_v" + server.version + ".exe";

  // The transfer goes to a temporary name: an error page, a broken-off or cancelled transfer
  // never lies under the name that is started.
  const auto file = DownloadToReplacingFile(
      server.launcherUrl,
      [&] { return std::make_unique<platform::ReplacingFile>(launcherUpdatePath); }, {});
  if (!file) return SetError(kDownloadFailed);
  const std::string& temporary = file->TemporaryPath();
  if (const std::string mismatch = Mismatch(temporary, server); !mismatch.empty()) {
    LogError("Launcher update does not match launcher_version.json: %s", mismatch.c_str());
    file->Discard();
    return SetError(kDownloadFailed);
  }
  if (!signingKey.empty()) {
    const SignatureCheck check = CheckFileSignature(signingKey, temporary, server.signature);
    if (check != SignatureCheck::Valid) {
      LogError("Launcher signature %s: %s", DescribeSignatureCheck(check),
               server.launcherUrl.c_str());
      file->Discard();
      return SetError(kDownloadFailed);
    }
    LogInfo("Launcher signature verified: %s", server.launcherUrl.c_str());
  }
  // Every further check of the downloaded file belongs here, before it takes its final name.
  if (!platform::MarkExecutable(temporary) || !file->Commit()) {
    LogError("Cannot put the launcher update in place: %s", launcherUpdatePath.c_str());
    return SetError(kDownloadFailed);
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
  // A failed hand-over must not leave the page waiting in "launcher_update_ready", whose start
  // rule keeps START GAME disabled: the state becomes Error. The flag stays set, so a later call
  // may try again.
  const auto failed = [this](const std::string& detail) {
    LogError("%s", detail.c_str());
    SetError(detail);
    return false;
  };
  if (platform::QueryPath(launcherUpdatePath).state == platform::PathState::Missing) {
    return failed("New launcher not found at " + launcherUpdatePath);
  }
  const platform::CommandLine commandLine{launcherUpdatePath, {"--upgrade"}, true};
  LogInfo("Launching new launcher with upgrade: %s",
          platform::FormatCommandLine(commandLine).c_str());
  const platform::StartResult started =
      platform::StartProcess(commandLine, FolderOf(launcherUpdatePath));
  if (!started.started) {
    return failed("Failed to launch new launcher, error=" + std::to_string(started.errorCode));
  }
  LogInfo("New launcher started, exiting current launcher...");
  platform::ExitProcessNow(0);
}
