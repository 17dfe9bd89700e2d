// The three workers against a real server on loopback: the status sequence the page sees, the
// files they leave, cancellation and the failures that must not touch installed files.
#include <gtest/gtest.h>
#include <xxhash.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/engine_test_support.h"
#include "tests/update/loopback_server.h"
#include "tests/update/manager_access.h"
#include "update/file_hash.h"
#include "update/update_manager.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class Workers : public ::testing::Test {
 protected:
  void SetUp() override { viewer.Start(); }

  void PublishGame(const std::vector<PublishedFile>& files) {
    server.Publish("version.json", R"({"version":"2.0"})");
    server.Publish("manifest.json", ManifestFor(files));
    for (const PublishedFile& file : files)
      server.Publish("files/" + file.path, file.content);
  }

  std::vector<std::string> Run(void (UpdateManager::*start)()) {
    (manager.*start)();
    FinishWorker(manager);
    return LoggedLines(viewer);
  }

  LoopbackServer server;
  TempDir dir{"velmora game ö"};
  UpdateManager manager{server.TreeUrl(), dir.utf8()};
  LogCapture viewer;
};

const std::vector<PublishedFile> kGame = {
    {"a.pak", "first file"},
    {"data/b.pak", std::string(100000, 'b')},
    {"data/deep dir/c ü.pak", "third"},
};

}  // namespace

TEST_F(Workers, FreshInstallShowsEveryStepAndRecordsTheVersion) {
  PublishGame(kGame);
  const auto lines = Run(&UpdateManager::CheckUpdate);
  EXPECT_EQ(StatusLines(lines), (std::vector<std::string>{
                                    "Checking for updates... (0%)",
                                    "Downloading file list... (20%)",
                                    "Checking local files... (30%)",
                                    "Checking: a.pak (36%)",
                                    "Checking: data/b.pak (43%)",
                                    "Checking: data/deep dir/c ü.pak (50%)",
                                    "Downloading updates... (50%)",
                                    "Downloading: a.pak (50%)",
                                    "Downloading: data/b.pak (65%)",
                                    "Downloading: data/deep dir/c ü.pak (80%)",
                                    "Update complete! Ready to play (100%)",
                                }));
  EXPECT_TRUE(AnyLineHas(lines, "UpdateManager::UpdateWorker["));
  EXPECT_TRUE(AnyLineHas(lines, "]: Server version: 2.0"));
  EXPECT_TRUE(AnyLineHas(lines, "]: Manifest contains 3 files"));
  EXPECT_TRUE(AnyLineHas(lines, "]: Missing: data/b.pak"));
  EXPECT_TRUE(AnyLineHas(lines, "]: Need to update 3 files, total size: 100015 bytes"));

  const UpdateStatus status = StatusOf(manager);
  EXPECT_EQ(status.state, UpdateState::Complete);
  EXPECT_TRUE(status.canStart);
  EXPECT_EQ(status.currentVersion, "Unknown");
  EXPECT_EQ(status.latestVersion, "2.0");
  EXPECT_EQ(status.filesTotal, 3);
  EXPECT_EQ(status.filesComplete, 3);
  EXPECT_EQ(status.bytesTotal, 100015u);
  EXPECT_EQ(status.bytesComplete, 100015u);
  for (const PublishedFile& file : kGame)
    EXPECT_EQ(dir.Read(file.path), file.content) << file.path;
  EXPECT_EQ(dir.Read("local_version.txt"), "2.0");
}

TEST_F(Workers, MatchingVersionFinishesWithoutTheManifest) {
  server.Publish("version.json", R"({"version":"2.0"})");
  dir.Write("local_version.txt", "2.0\r\n");
  const auto lines = Run(&UpdateManager::CheckUpdate);
  EXPECT_EQ(StatusLines(lines), (std::vector<std::string>{"Checking for updates... (0%)",
                                                          "Game is up to date (100%)"}));
  EXPECT_FALSE(AnyLineHas(lines, "LAUNCHER|E|"));
  EXPECT_EQ(StatusOf(manager).currentVersion, "2.0");
}

TEST_F(Workers, CancelIsSeenAtTheFirstCheckPoint) {
  PublishGame(kGame);
  manager.CheckUpdate();
  manager.CancelUpdate();
  FinishWorker(manager);
  const UpdateStatus status = StatusOf(manager);
  EXPECT_EQ(status.state, UpdateState::Idle);
  EXPECT_EQ(status.message, "Update cancelled");
  EXPECT_TRUE(status.canStart);
  EXPECT_FALSE(fs::exists(dir.path() / "a.pak"));
  EXPECT_FALSE(fs::exists(dir.path() / "local_version.txt"));
}

TEST_F(Workers, CorruptDownloadLeavesTheInstalledFileUntouched) {
  PublishGame(kGame);
  server.Publish("files/data/b.pak", "served by mistake");
  dir.Write("local_version.txt", "1.0");
  dir.Write("data/b.pak", "the old b");
  Run(&UpdateManager::CheckUpdate);
  const UpdateStatus status = StatusOf(manager);
  EXPECT_EQ(status.state, UpdateState::Error);
  EXPECT_EQ(status.errorDetail, "Downloaded file corrupted: data/b.pak");
  EXPECT_EQ(status.filesComplete, 1);
  EXPECT_EQ(dir.Read("data/b.pak"), "the old b");
  EXPECT_FALSE(fs::exists(dir.path() / "data/b.pak.velmora-part"));
  EXPECT_EQ(dir.Read("local_version.txt"), "1.0");
}

TEST_F(Workers, MissingServerFileFailsThatFile) {
  PublishGame(kGame);
  server.Withdraw("files/a.pak");
  Run(&UpdateManager::CheckUpdate);
  EXPECT_EQ(StatusOf(manager).errorDetail, "Failed to download: a.pak");
  EXPECT_FALSE(fs::exists(dir.path() / "a.pak"));
  EXPECT_FALSE(fs::exists(dir.path() / "a.pak.velmora-part")) << "nothing arrived to continue";
}

TEST_F(Workers, UnsafeManifestPathWritesNothing) {
  PublishGame(kGame);
  server.Publish("manifest.json", R"({"files":[{"path":"a.pak","hash":")" + HashOf("first file") +
                                      R"("},{"path":"../escaped.txt","hash":"0"}]})");
  const auto lines = Run(&UpdateManager::CheckUpdate);
  EXPECT_EQ(StatusOf(manager).errorDetail, "Failed to parse manifest");
  EXPECT_TRUE(AnyLineHas(lines, "LoadManifest error: unsafe path in manifest: ../escaped.txt"));
  EXPECT_TRUE(fs::is_empty(dir.path()));
  EXPECT_FALSE(fs::exists(dir.path().parent_path() / "escaped.txt"));
}

TEST_F(Workers, VersionDocumentErrorsReachTheStatus) {
  Run(&UpdateManager::CheckUpdate);
  EXPECT_EQ(StatusOf(manager).errorDetail,
            "Failed to check version: Cannot connect to update server");
  server.Publish("version.json", "[1]");
  Run(&UpdateManager::CheckUpdate);
  EXPECT_EQ(StatusOf(manager).errorDetail,
            "Failed to parse version info: [json.exception.type_error.306] cannot use value() "
            "with array");
}

TEST_F(Workers, RepairFixesDamagedAndMissingFilesOnly) {
  PublishGame(kGame);
  dir.Write("a.pak", "first file");
  dir.Write("data/b.pak", "damaged");
  const auto lines = Run(&UpdateManager::FixClient);
  EXPECT_EQ(StatusLines(lines), (std::vector<std::string>{
                                    "Starting file verification... (0%)",
                                    "Verifying: a.pak (16%)",
                                    "Verifying: data/b.pak (33%)",
                                    "Verifying: data/deep dir/c ü.pak (50%)",
                                    "Fixing: data/b.pak (50%)",
                                    "Fixing: data/deep dir/c ü.pak (72%)",
                                    "All files fixed successfully! (100%)",
                                }));
  EXPECT_TRUE(AnyLineHas(lines, "UpdateManager::VerifyWorker[") &&
              AnyLineHas(lines, "]: Need to fix 2 files"));
  const UpdateStatus status = StatusOf(manager);
  EXPECT_EQ(status.filesTotal, 2);
  EXPECT_EQ(status.filesComplete, 2);
  EXPECT_EQ(status.bytesTotal, 100005u);
  EXPECT_EQ(status.bytesComplete, 100005u);
  for (const PublishedFile& file : kGame)
    EXPECT_EQ(dir.Read(file.path), file.content) << file.path;
  EXPECT_FALSE(fs::exists(dir.path() / "local_version.txt")) << "repair leaves the version alone";
}

TEST_F(Workers, LauncherUpdateDownloadsBesideTheLauncherAndWaits) {
  server.Publish("launcher_version.json", R"({"version":"1.0.10","launcher_url":")" +
                                              server.TreeUrl() + R"(new launcher.bin"})");
  server.Publish("new launcher.bin", "not really a program");
  const auto lines = Run(&UpdateManager::CheckLauncherUpdate);
  EXPECT_EQ(StatusLines(lines),
            (std::vector<std::string>{
                "Checking for launcher update... (0%)", "Downloading launcher update... (20%)",
                "Launcher update ready. Click to apply and restart. (100%)"}));
  EXPECT_TRUE(AnyLineHas(lines, "]: Launcher update available: 1.0.3 -> 1.0.10"));
  const UpdateStatus status = StatusOf(manager);
  EXPECT_EQ(status.state, UpdateState::LauncherUpdateReady);
  EXPECT_FALSE(status.canStart);
  EXPECT_TRUE(manager.IsLauncherUpdateReady());
  EXPECT_EQ(dir.Read("Launcher_v1.0.10.exe"), "not really a program");

  // While it is ready, nothing else starts.
  manager.CheckUpdate();
  EXPECT_FALSE(UpdateManagerTestAccess::HasWorker(manager));
  EXPECT_EQ(StatusOf(manager).state, UpdateState::LauncherUpdateReady);

  // Not a program: the start fails, is logged, and the update stays ready for another try, while
  // the state lets the player start the game.
  EXPECT_FALSE(manager.ApplyLauncherUpdate());
  EXPECT_TRUE(AnyLineHas(LoggedLines(viewer), "]: Failed to launch new launcher, error="));
  EXPECT_EQ(StatusOf(manager).state, UpdateState::Error);
  EXPECT_TRUE(manager.IsLauncherUpdateReady());
}

TEST_F(Workers, LauncherStaysWhenTheServerHasNothingNewer) {
  server.Publish("launcher_version.json", R"({"version":"1.0.3.0"})");
  auto lines = Run(&UpdateManager::CheckLauncherUpdate);
  EXPECT_TRUE(AnyLineHas(lines, "]: Launcher is up to date (server=1.0.3.0, local=1.0.3, cmp=0)"));
  EXPECT_EQ(StatusOf(manager).state, UpdateState::UpToDate);

  server.Publish("launcher_version.json", R"(["1.0.4"])");
  lines = Run(&UpdateManager::CheckLauncherUpdate);
  EXPECT_TRUE(AnyLineHas(lines, "LAUNCHER|E|UpdateManager::LauncherUpdateWorker["));
  EXPECT_TRUE(AnyLineHas(lines, "]: Failed to parse launcher version: [json.exception"));
  EXPECT_EQ(StatusOf(manager).message, "Launcher is up to date");
}

TEST_F(Workers, LauncherVersionThatIsNoFileNameIsRefused) {
  server.Publish("launcher_version.json",
                 R"({"version":"9.0/../../x","launcher_url":")" + server.Url("bytes/10") + R"("})");
  Run(&UpdateManager::CheckLauncherUpdate);
  EXPECT_EQ(StatusOf(manager).errorDetail, "Failed to download launcher update");
  EXPECT_FALSE(manager.IsLauncherUpdateReady());
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(Workers, ReportsPolledDuringARunAlwaysParseAndNeverGoBack) {
  PublishGame(kGame);
  std::atomic<bool> finished{false};
  std::vector<std::string> reports;
  std::thread poller([&] {
    while (!finished.load()) {
      reports.push_back(manager.GetStatusJson());
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  manager.CheckUpdate();
  FinishWorker(manager);
  finished.store(true);
  poller.join();
  reports.push_back(manager.GetStatusJson());

  int lastProgress = 0;
  for (const std::string& text : reports) {
    const nlohmann::json report = nlohmann::json::parse(text);
    const int progress = report["progress"];
    EXPECT_GE(progress, lastProgress) << text;
    lastProgress = progress;
  }
  EXPECT_EQ(nlohmann::json::parse(reports.back())["state"], "complete");
}
