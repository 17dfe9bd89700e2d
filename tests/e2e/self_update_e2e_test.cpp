// The launcher replacing itself, with real programs: Launcher.exe 1.0.3, installed in a folder
// whose path holds a space and a non-ASCII letter beside a leftover Launcher_v1.0.2.exe, finds
// launcher 1.0.4 published on the patch server, downloads it, and hands over; the new program
// removes the old files, takes the name Launcher.exe, restarts, finds itself up to date and
// updates the game. The log viewer receives the lines of all three processes.
#include <signal.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "tests/launcher/support/child_process.h"
#include "tests/launcher/support/desktop_leaks.h"
#include "tests/launcher/support/log_lines.h"
#include "tests/launcher/support/xvfb_display.h"
#include "tests/support/temp_dir.h"
#include "tools/publish/launcher_release.h"
#include "tools/publish/publisher.h"
#include "tools/sampleclient/sample_client.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::ProcessesRunning;
using testing_support::TempDir;
using namespace std::chrono_literals;

constexpr char kStatus[] = "I|UpdateManager::SetStatus: UpdateManager: ";
constexpr char kReady[] = "Launcher update ready. Click to apply and restart. (100%)";

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SelfUpdateEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    setenv("DISPLAY", display_.name().c_str(), 1);
    folder_ = fs::canonical(install_.path());
    fs::copy_file(VELMORA_E2E_LAUNCHER, folder_ / "Launcher.exe");
    fs::copy_file(VELMORA_ENGINE_RECORDER, folder_ / "Engine.atm");
    install_.Write("Launcher_v1.0.2.exe", "a download an older update left behind");
    sample_client::WriteSampleClient(folder_, sample_client::DemoClientFiles(1));
    install_.Write("local_version.txt", "1.0");

    sample_client::WriteSampleClient(client_.path(), sample_client::DemoClientFiles(2));
    const fs::path tree = patch_.path() / "patch";
    const auto game = publish::Publish({client_.path(), "1.1", tree});
    ASSERT_EQ(game.status, publish::PublishStatus::Published) << game.error;
    const auto launcher =
        publish::PublishLauncher({VELMORA_E2E_LAUNCHER_NEXT, "1.0.4", tree,
                                  std::string("http://127.0.0.1:") + VELMORA_E2E_PORT + "/patch/"});
    ASSERT_EQ(launcher.status, publish::PublishStatus::Published) << launcher.error;
    server_.emplace(std::vector<std::string>{VELMORA_PATCHSERVER, "--root", tree.string(), "--port",
                                             VELMORA_E2E_PORT});
    ASSERT_TRUE(server_->WaitForOutput("serving", 5s)) << server_->Output();
    log_.Start();
    old_.emplace(std::vector<std::string>{(folder_ / "Launcher.exe").string()},
                 testing_support::LauncherEnvironment(display_.name(),
                                                      {{"XDG_CONFIG_HOME", config_.utf8()}}),
                 home_.utf8());
  }

  void TearDown() override {
    for (const pid_t pid : ProcessesRunning(folder_ / "Launcher.exe"))
      kill(pid, SIGTERM);
  }

  // The lines received once `done` accepts them (or when time is up).
  template <typename Done>
  std::vector<std::string> LinesUntil(Done done, std::chrono::seconds limit = 180s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<std::string> lines;
    while (std::chrono::steady_clock::now() < deadline && !done(lines))
      lines = testing_support::ShortLogLines(log_.Messages(lines.size() + 1, 1s));
    return lines;
  }

  std::vector<std::string> LinesUntilLine(const std::string& line) {
    return LinesUntil([&](const std::vector<std::string>& lines) {
      return std::find(lines.begin(), lines.end(), line) != lines.end();
    });
  }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  testing_support::XvfbDisplay display_{1920, 1080};
  TempDir install_{"velmora self-update ä"};
  TempDir client_{"velmora self-update client"};
  TempDir patch_{"velmora self-update patch"};
  TempDir config_{"velmora self-update config"};
  TempDir home_{"velmora self-update home"};
  fs::path folder_;
  testing_support::LogCapture log_;
  std::optional<ChildProcess> server_;
  std::optional<ChildProcess> old_;
};

// The positions of `wanted` in `lines`, each searched after the previous one; -1 where missing.
std::vector<long> InOrder(const std::vector<std::string>& lines,
                          const std::vector<std::string>& wanted) {
  std::vector<long> positions;
  auto from = lines.begin();
  for (const std::string& line : wanted) {
    const auto found = std::find(from, lines.end(), line);
    positions.push_back(found == lines.end() ? -1 : found - lines.begin());
    if (found != lines.end()) from = found + 1;
  }
  return positions;
}

TEST_F(SelfUpdateEndToEnd, TheLauncherReplacesItselfAndTheNewOneUpdatesTheGame) {
  ASSERT_EQ(old_->Wait(180s), 0) << old_->Output();
  const std::string updated = std::string(kStatus) + "Update complete! Ready to play (100%)";
  const std::vector<std::string> lines = LinesUntilLine(updated);

  const std::string upgrade = "I|HandleUpgradeMode: ";
  const std::vector<std::string> milestones = {
      "I|WinMain: Launcher starting with args: ",
      "I|UpdateManager::LauncherUpdateWorker: Launcher update available: 1.0.3 -> 1.0.4",
      std::string(kStatus) + kReady,
      "I|API_ApplyLauncherUpdate: ApplyLauncherUpdate called",
      "I|UpdateManager::ApplyLauncherUpdate: Launching new launcher with upgrade: \"" +
          Path("Launcher_v1.0.4.exe") + "\" --upgrade",
      "I|WinMain: Launcher starting with args: --upgrade",
      "I|WinMain: Upgrade mode detected",
      upgrade + "Upgrade mode: my path = " + Path("Launcher_v1.0.4.exe"),
      upgrade + "Renaming " + Path("Launcher_v1.0.4.exe") + " to " + Path("Launcher.exe"),
      upgrade + "Rename successful, restarting as Launcher.exe",
      "I|WinMain: Launcher starting with args: ",
      "I|API_GetConfig: GetConfig called",
      "I|UpdateManager::LauncherUpdateWorker: Launcher is up to date (server=1.0.4, local=1.0.4, "
      "cmp=0)",
      std::string(kStatus) + "Checking for updates... (0%)",
      updated,
  };
  const std::vector<long> at = InOrder(lines, milestones);
  for (std::size_t i = 0; i < milestones.size(); ++i)
    EXPECT_NE(at[i], -1) << "missing or out of order: " << milestones[i];
  ASSERT_THAT(at, testing::Not(testing::Contains(-1)));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "I|WinMain: Setting HTML content..."), 2)
      << "the hand-over process shows no window";
  EXPECT_THAT(lines, testing::Contains("I|UpdateManager::ApplyLauncherUpdate: New launcher "
                                       "started, exiting current launcher..."));

  // Between its first line and the rename the hand-over deletes both old files, in the order the
  // folder lists them, and nothing else.
  std::vector<std::string> deletions(lines.begin() + at[7] + 1, lines.begin() + at[8]);
  std::erase_if(deletions, [&](const std::string& line) { return !line.starts_with(upgrade); });
  ASSERT_EQ(deletions.size(), 4u) << testing::PrintToString(deletions);
  if (deletions[0].ends_with("Launcher_v1.0.2.exe"))
    std::rotate(deletions.begin(), deletions.begin() + 2, deletions.end());
  EXPECT_THAT(deletions, testing::ElementsAre(
                             upgrade + "Deleting old launcher: " + Path("Launcher.exe"),
                             upgrade + "Deleted: " + Path("Launcher.exe"),
                             upgrade + "Deleting old launcher: " + Path("Launcher_v1.0.2.exe"),
                             upgrade + "Deleted: " + Path("Launcher_v1.0.2.exe")));

  // The folder holds the new launcher under the fixed name and the updated game, nothing else.
  EXPECT_EQ(FileBytes(folder_ / "Launcher.exe"), FileBytes(VELMORA_E2E_LAUNCHER_NEXT));
  for (const auto& entry : fs::directory_iterator(folder_)) {
    const std::string name = entry.path().filename().string();
    EXPECT_FALSE(name.starts_with("Launcher_v") || name.ends_with(".velmora-part")) << name;
  }
  EXPECT_EQ(install_.Read("local_version.txt"), "1.1");
  for (const auto& file : sample_client::DemoClientFiles(2))
    EXPECT_EQ(install_.Read(file.path), sample_client::FileContent(file)) << file.path;
  EXPECT_EQ(ProcessesRunning(folder_ / "Launcher.exe").size(), 1u) << "the restarted launcher";
}

TEST_F(SelfUpdateEndToEnd, AHandOverWhoseFileVanishedLeavesStartGameWorking) {
  LinesUntilLine(std::string(kStatus) + kReady);
  // The page applies 1000 ms after it has seen the state.
  fs::remove(folder_ / "Launcher_v1.0.4.exe");
  const std::string notFound = "E|UpdateManager::ApplyLauncherUpdate: New launcher not found at " +
                               Path("Launcher_v1.0.4.exe");
  EXPECT_THAT(LinesUntilLine(notFound), testing::Contains(notFound));
  EXPECT_THAT(LinesUntilLine("E|UpdateManager::SetError: UpdateManager error: New launcher not "
                             "found at " +
                             Path("Launcher_v1.0.4.exe")),
              testing::Contains(testing::StartsWith("E|UpdateManager::SetError")));
  std::this_thread::sleep_for(1500ms);  // the page's next poll enables the button
  testing_support::RunCommand({"xdotool", "mousemove", "959", "730", "click", "1"});  // START GAME
  ASSERT_EQ(old_->Wait(30s), 0) << "START GAME must start the game and close the launcher";
  EXPECT_FALSE(install_.Read("engine_args.txt").empty());
  EXPECT_TRUE(fs::exists(folder_ / "Launcher.exe"));
}

}  // namespace
