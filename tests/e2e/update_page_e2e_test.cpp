// The real Linux Launcher.exe updating an installed copy of the sample client from version 1.0 to
// 1.1, published with the patch publisher and served by the demo patch server: the page starts
// the update, watches it to its end and enables START GAME, which then starts the game.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "tests/launcher/support/child_process.h"
#include "tests/launcher/support/desktop_leaks.h"
#include "tests/launcher/support/log_lines.h"
#include "tests/launcher/support/x11_windows.h"
#include "tests/launcher/support/xvfb_display.h"
#include "tests/support/temp_dir.h"
#include "tools/publish/publisher.h"
#include "tools/sampleclient/sample_client.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::TempDir;
using namespace std::chrono_literals;

constexpr int kWindowX = 560;  // the window's place on the 1920 x 1080 screen
constexpr int kWindowY = 240;
constexpr char kStatus[] = "I|UpdateManager::SetStatus: UpdateManager: ";

class PageUpdateEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    setenv("DISPLAY", display_.name().c_str(), 1);
    sample_client::WriteSampleClient(install_.path(), sample_client::DemoClientFiles(1));
    install_.Write("local_version.txt", "1.0");
    fs::copy_file(VELMORA_E2E_LAUNCHER, install_.path() / "Launcher.exe");
    fs::copy_file(VELMORA_ENGINE_RECORDER, install_.path() / "Engine.atm");

    sample_client::WriteSampleClient(client_.path(), sample_client::DemoClientFiles(2));
    const auto published = publish::Publish({client_.path(), "1.1", patchTree_.path()});
    ASSERT_EQ(published.status, publish::PublishStatus::Published) << published.error;
    patchTree_.Write("launcher_version.json", "{\"version\":\"1.0.3\"}");
    server_.emplace(std::vector<std::string>{VELMORA_PATCHSERVER, "--root", patchTree_.utf8(),
                                             "--port", VELMORA_E2E_PORT});
    ASSERT_TRUE(server_->WaitForOutput("serving", 5s)) << server_->Output();
    log_.Start();
  }

  void StartLauncher() {
    launcher_.emplace(std::vector<std::string>{(install_.path() / "Launcher.exe").string()},
                      testing_support::LauncherEnvironment(display_.name(),
                                                           {{"XDG_CONFIG_HOME", config_.utf8()}}),
                      home_.utf8());
  }

  // The lines received once `done` accepts them (or when time is up).
  template <typename Done>
  std::vector<std::string> LinesUntil(Done done, std::chrono::seconds limit = 120s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<std::string> lines;
    while (std::chrono::steady_clock::now() < deadline && !done(lines))
      lines = testing_support::ShortLogLines(log_.Messages(lines.size() + 1, 1s));
    return lines;
  }

  testing_support::XvfbDisplay display_{1920, 1080};
  TempDir install_{"velmora e2e install"};
  TempDir client_{"velmora e2e client 1.1"};
  TempDir patchTree_{"velmora e2e patch"};
  TempDir config_{"velmora e2e config"};
  TempDir home_{"velmora e2e home"};
  testing_support::LogCapture log_;
  std::optional<ChildProcess> server_;
  std::optional<ChildProcess> launcher_;
};

// The first screen row, below the settings panel, where the left part of the START GAME button
// shows the accent blue of an enabled button (a disabled one is grey).
std::optional<int> EnabledStartButtonRow() {
  for (int y = kWindowY + 380; y < kWindowY + 580; y += 2) {
    const testing_support::Rgb pixel = testing_support::ScreenPixel(kWindowX + 300, y);
    if (pixel.blue > 150 && pixel.blue > pixel.red + 80) return y;
  }
  return std::nullopt;
}

// The "<message> (<progress>%)" texts of the game update's status lines, in order.
std::vector<std::string> GameUpdateStatuses(const std::vector<std::string>& lines) {
  std::vector<std::string> statuses;
  for (const auto& line : lines) {
    if (line.rfind(kStatus, 0) != 0) continue;
    const std::string status = line.substr(sizeof(kStatus) - 1);
    if (status.rfind("Checking for updates...", 0) == 0) statuses.clear();  // the launcher's end
    statuses.push_back(status);
  }
  return statuses;
}

TEST_F(PageUpdateEndToEnd, ThePageWatchesTheUpdateToItsEndAndThenStartsTheGame) {
  StartLauncher();
  const std::string complete = std::string(kStatus) + "Update complete! Ready to play (100%)";
  const auto completeAt = [&](const std::vector<std::string>& lines) {
    return std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
      return line == complete || line.rfind("E|UpdateManager::SetError", 0) == 0;
    });
  };
  // The page polls on after the last status until it has seen the end.
  const std::vector<std::string> lines = LinesUntil([&](const std::vector<std::string>& sofar) {
    return std::find(completeAt(sofar), sofar.end(),
                     "I|API_GetUpdateStatus: GetUpdateStatus called") != sofar.end();
  });
  ASSERT_THAT(lines, testing::Contains(complete)) << launcher_->Output();
  ASSERT_NE(
      std::find(completeAt(lines), lines.end(), "I|API_GetUpdateStatus: GetUpdateStatus called"),
      lines.end());

  const std::vector<std::string> statuses = GameUpdateStatuses(lines);
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front(), "Checking for updates... (0%)");
  EXPECT_EQ(statuses.back(), "Update complete! Ready to play (100%)");
  EXPECT_THAT(statuses, testing::Contains("Downloading updates... (50%)"));
  const auto first = sample_client::DemoClientFiles(1);
  std::size_t fetched = 0;
  for (const auto& file : sample_client::DemoClientFiles(2)) {
    EXPECT_EQ(install_.Read(file.path), sample_client::FileContent(file)) << file.path;
    const bool unchanged = std::any_of(first.begin(), first.end(), [&](const auto& old) {
      return old.path == file.path && old.seed == file.seed && old.size == file.size;
    });
    const bool downloaded =
        std::any_of(statuses.begin(), statuses.end(), [&](const std::string& status) {
          return status.rfind("Downloading: " + file.path + " (", 0) == 0;
        });
    EXPECT_EQ(downloaded, !unchanged) << file.path;
    fetched += downloaded ? 1 : 0;
  }
  EXPECT_EQ(fetched, 12u);
  EXPECT_EQ(install_.Read("local_version.txt"), "1.1");

  // START GAME is enabled (blue, not the grey of a disabled button) and starts the game.
  std::this_thread::sleep_for(2s);  // the page hides its progress panel 1.5 s after the end
  fs::create_directories(VELMORA_E2E_ARTIFACTS);
  testing_support::RunCommand(
      {"import", "-window", "root", std::string(VELMORA_E2E_ARTIFACTS) + "/update-complete.png"});
  const std::optional<int> buttonY = EnabledStartButtonRow();
  ASSERT_TRUE(buttonY.has_value()) << "no enabled START GAME button on the screen";
  testing_support::RunCommand({"xdotool", "mousemove", std::to_string(kWindowX + 399),
                               std::to_string(*buttonY + 10), "click", "1"});
  ASSERT_EQ(launcher_->Wait(30s), 0) << launcher_->Output();
  EXPECT_FALSE(install_.Read("engine_args.txt").empty());
}

}  // namespace
