// The launcher's self-update against a real server on loopback: what may become the ready
// launcher, and a failed hand-over, which must leave the player able to play.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/path_separator.h"
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

const std::string kProgram = "the new launcher's bytes";
const std::string kErrorPage = "<html>Service unavailable</html>";

class LauncherUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    viewer.Start();
    server.Publish("next.exe", kProgram);
    server.Publish("error.html", kErrorPage);
  }

  // launcher_version.json announcing 1.0.4 at `url`, with `members` (",\"size\":1") added.
  void Announce(const std::string& url, const std::string& members = "") {
    server.Publish("launcher_version.json",
                   R"({"version":"1.0.4","launcher_url":")" + url + "\"" + members + "}");
  }

  // The lines logged since the last call.
  std::vector<std::string> NewLines() {
    std::vector<std::string> lines = LoggedLines(viewer);
    const std::vector<std::string> fresh(lines.begin() + static_cast<std::ptrdiff_t>(seen_),
                                         lines.end());
    seen_ = lines.size();
    return fresh;
  }

  std::vector<std::string> Folder() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // As the engine builds it, with the system's separator.
  std::string ReadyPath() const {
    return dir.utf8() + platform::PathSeparator() + "Launcher_v1.0.4.exe";
  }

  LoopbackServer server;
  TempDir dir{"velmora launcher ö"};
  UpdateManager manager{server.TreeUrl(), dir.utf8()};
  LogCapture viewer;

 private:
  std::size_t seen_ = 0;
};

void CancelOnceDownloading(UpdateManager& manager) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (StatusOf(manager).state != UpdateState::Downloading &&
         std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the body is on its way
  manager.CancelUpdate();
}

}  // namespace

TEST_F(LauncherUpdate, OnlyACompleteMatchingDownloadBecomesTheReadyLauncher) {
  const std::string size = std::to_string(kProgram.size());
  const std::string hash = HashOf(kProgram);
  struct Download {
    const char* what;
    std::string url;
    std::string members;  // what launcher_version.json says of the file
    bool cancel;
    std::string logged;  // the line that tells why ("" when none is owed)
  };
  const Download refused[] = {
      {"an error page answered with status 200", server.TreeUrl() + "error.html",
       ",\"hash\":\"" + hash + "\"", false,
       "]: Launcher update does not match launcher_version.json: hash " + HashOf(kErrorPage) +
           ", expected " + hash},
      {"the right bytes but one too few", server.TreeUrl() + "next.exe",
       ",\"size\":" + std::to_string(kProgram.size() + 1), false,
       "]: Launcher update does not match launcher_version.json: size " + size + ", expected " +
           std::to_string(kProgram.size() + 1)},
      {"a 404 error page", server.Url("status/404"), "", false,
       "]: Request failed for " + server.Url("status/404") + ": HTTP status 404"},
      {"a body cut short, size announced", server.Url("cut/100000"), ",\"size\":100000", false, ""},
      {"a cancelled transfer", server.Url("slow/67108864"), "", true, ""},
  };
  for (const Download& download : refused) {
    SCOPED_TRACE(download.what);
    Announce(download.url, download.members);
    manager.CheckLauncherUpdate();
    if (download.cancel) CancelOnceDownloading(manager);
    FinishWorker(manager);
    const UpdateStatus status = StatusOf(manager);
    EXPECT_EQ(status.state, UpdateState::Error);
    EXPECT_EQ(status.errorDetail, "Failed to download launcher update");
    EXPECT_TRUE(status.canStart);
    EXPECT_FALSE(manager.IsLauncherUpdateReady());
    EXPECT_TRUE(Folder().empty()) << "neither the launcher nor its temporary file stays";
    const std::vector<std::string> lines = NewLines();
    if (!download.logged.empty()) {
      EXPECT_TRUE(AnyLineHas(lines, download.logged));
    }
  }

  Announce(server.TreeUrl() + "next.exe", ",\"hash\":\"" + hash + "\",\"size\":" + size);
  manager.CheckLauncherUpdate();
  FinishWorker(manager);
  EXPECT_EQ(StatusOf(manager).state, UpdateState::LauncherUpdateReady);
  EXPECT_EQ(Folder(), std::vector<std::string>{"Launcher_v1.0.4.exe"});
  EXPECT_EQ(dir.Read("Launcher_v1.0.4.exe"), kProgram);
#ifndef _WIN32
  EXPECT_NE(fs::status(fs::u8path(ReadyPath())).permissions() & fs::perms::owner_exec,
            fs::perms::none);
#endif
}

// A body that ends before its Content-Length is a transfer that broke off, whether or not the
// document announced a size.
TEST_F(LauncherUpdate, ABodyCutShortIsNoLauncherEvenWhenNothingIsAnnouncedAboutIt) {
  Announce(server.Url("cut/100000"));
  manager.CheckLauncherUpdate();
  FinishWorker(manager);
  EXPECT_EQ(StatusOf(manager).errorDetail, "Failed to download launcher update");
  EXPECT_TRUE(AnyLineHas(NewLines(), "]: Transfer broke off for " + server.Url("cut/100000")));
  EXPECT_TRUE(Folder().empty());
}

// A start that fails (a file that is no program) is the workers test's; both end the same way.
TEST_F(LauncherUpdate, AHandOverWhoseFileVanishedEndsInErrorSoThePlayerCanStillPlay) {
  Announce(server.TreeUrl() + "next.exe");
  manager.CheckLauncherUpdate();
  FinishWorker(manager);
  ASSERT_EQ(StatusOf(manager).state, UpdateState::LauncherUpdateReady);
  fs::remove(fs::u8path(ReadyPath()));
  NewLines();

  const std::string detail = "New launcher not found at " + ReadyPath();
  EXPECT_FALSE(manager.ApplyLauncherUpdate());
  const UpdateStatus status = StatusOf(manager);
  EXPECT_EQ(status.state, UpdateState::Error);
  EXPECT_TRUE(status.canStart) << "START GAME must work";
  EXPECT_EQ(status.errorDetail, detail);
  EXPECT_TRUE(AnyLineHas(NewLines(), "LAUNCHER|E|UpdateManager::ApplyLauncherUpdate["));
  EXPECT_TRUE(manager.IsLauncherUpdateReady()) << "a later apply may try again";
  EXPECT_FALSE(manager.ApplyLauncherUpdate());
  EXPECT_TRUE(AnyLineHas(NewLines(), "]: " + detail));

  // The game update is no longer held back by the launcher's.
  manager.CheckUpdate();
  EXPECT_TRUE(UpdateManagerTestAccess::HasWorker(manager));
}
