// The real Linux Launcher.exe, installed into a folder whose path holds a space, on its own
// 1920 x 1080 X display, talking to a real log listener and aimed at the demo patch server on
// loopback. The test plays the player: it looks at the window, reads the log and clicks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/machine_name.h"
#include "settings/display_param.h"
#include "tests/launcher/support/child_process.h"
#include "tests/launcher/support/desktop_leaks.h"
#include "tests/launcher/support/log_lines.h"
#include "tests/launcher/support/x11_windows.h"
#include "tests/launcher/support/xvfb_display.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::MatchesRegex;
using testing_support::ChildProcess;
using testing_support::RunCommand;
using testing_support::TempDir;
using testing_support::WindowGeometry;
using namespace std::chrono_literals;

constexpr int kWindowX = 560;  // (1920 - 800) / 2
constexpr int kWindowY = 240;  // (1080 - 600) / 2

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);)
    lines.push_back(line);
  return lines;
}

std::size_t FileSize(const char* path) {
  return static_cast<std::size_t>(fs::file_size(path));
}

void Click(int x, int y) {
  RunCommand({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"});
}

class LauncherEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    setenv("DISPLAY", display_.name().c_str(), 1);
    fs::copy_file(VELMORA_E2E_LAUNCHER, install_.path() / "Launcher.exe");
    fs::permissions(install_.path() / "Launcher.exe", fs::perms::owner_all);
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

  // Waits until the launcher has logged `line` (short form), after the lines `after` begins with
  // when given; returns every line so far.
  std::vector<std::string> LinesUpTo(const std::string& line, std::chrono::seconds limit = 90s,
                                     const std::string& after = "") {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<std::string> lines;
    while (std::chrono::steady_clock::now() < deadline) {
      lines = testing_support::ShortLogLines(log_.Messages(lines.size() + 1, 1s));
      auto from = lines.begin();
      if (!after.empty()) {
        from = std::find_if(lines.begin(), lines.end(),
                            [&](const std::string& seen) { return seen.starts_with(after); });
      }
      if (from != lines.end() && std::find(from, lines.end(), line) != lines.end()) break;
    }
    return lines;
  }

  // The launcher window once the page has drawn itself: the active tab is underlined in the
  // accent blue.
  testing_support::XWindowId WaitForPaintedWindow() {
    const auto window = testing_support::FindWindowByTitle("Velmora Launcher", 90s);
    if (!window) throw std::runtime_error("no launcher window: " + launcher_->Output());
    const auto deadline = std::chrono::steady_clock::now() + 90s;
    for (;;) {
      const testing_support::Rgb underline =
          testing_support::ScreenPixel(kWindowX + 200, kWindowY + 75);
      if (underline.blue > 150 && underline.red < 120) break;
      if (std::chrono::steady_clock::now() > deadline)
        throw std::runtime_error("the page was never drawn");
      std::this_thread::sleep_for(100ms);
    }
    return *window;
  }

  void Screenshot(const std::string& name) {
    fs::create_directories(VELMORA_E2E_ARTIFACTS);
    RunCommand({"import", "-window", "root", std::string(VELMORA_E2E_ARTIFACTS) + "/" + name});
  }

  testing_support::XvfbDisplay display_{1920, 1080};
  TempDir install_{"velmora e2e install"};
  TempDir config_{"velmora e2e config"};
  TempDir home_{"velmora e2e home"};
  TempDir patchTree_{"velmora e2e patch"};
  testing_support::LogCapture log_;
  std::optional<ChildProcess> server_;
  std::optional<ChildProcess> launcher_;
};

TEST_F(LauncherEndToEnd, OpensCentredBorderlessWindowAndLogsItsStartUpThenThePagesCalls) {
  StartLauncher();
  const testing_support::XWindowId window = WaitForPaintedWindow();
  Screenshot("launcher-started.png");

  const WindowGeometry geometry = testing_support::GetWindowGeometry(window);
  EXPECT_EQ(geometry.x, kWindowX);
  EXPECT_EQ(geometry.y, kWindowY);
  EXPECT_EQ(geometry.width, 800);
  EXPECT_EQ(geometry.height, 600);
  EXPECT_TRUE(testing_support::RequestsNoDecorations(window));
  EXPECT_EQ(testing_support::GetWindowTitle(window), "Velmora Launcher");

  // The page background (blue over red) below the tab bar, the darker title bar above it.
  const testing_support::Rgb page = testing_support::ScreenPixel(kWindowX + 40, kWindowY + 560);
  const testing_support::Rgb titleBar = testing_support::ScreenPixel(kWindowX + 300, kWindowY + 8);
  EXPECT_GT(page.blue, page.red);
  EXPECT_LT(titleBar.blue, page.blue);

  const std::vector<std::string> lines = LinesUpTo("I|API_GetResolutions: GetResolutions called");
  ASSERT_GE(lines.size(), 14u);
  const std::vector<std::string> startUp(lines.begin(), lines.begin() + 13);
  EXPECT_THAT(
      startUp,
      ElementsAre(
          "I|WinMain: Launcher starting with args: ",
          MatchesRegex("I\\|WinMain: Window handle obtained: 0x[0-9a-f]+"),
          "I|WinMain: Window made borderless", "I|WinMain: Window configured 800x600",
          "I|WinMain: Binding API functions...", "I|WinMain: API functions bound",
          "I|WinMain: HTML resource size: " + std::to_string(FileSize(VELMORA_E2E_HTML)) + " bytes",
          "I|WinMain: CSS resource size: " + std::to_string(FileSize(VELMORA_E2E_CSS)) + " bytes",
          "I|WinMain: JS resource size: " + std::to_string(FileSize(VELMORA_E2E_JS)) + " bytes",
          "I|WinMain: CSS inlined successfully", "I|WinMain: JS inlined successfully",
          "I|WinMain: Setting HTML content...", "I|WinMain: Starting message loop..."));
  // The page's first calls: the version (which logs nothing), the settings, the resolutions.
  EXPECT_EQ(lines[13], "I|API_GetConfig: GetConfig called");
  EXPECT_THAT(lines, testing::Contains("I|API_GetResolutions: GetResolutions called"));
  EXPECT_TRUE(launcher_->Running());
}

TEST_F(LauncherEndToEnd, CloseButtonEndsTheLauncherWithExitCodeZero) {
  StartLauncher();
  WaitForPaintedWindow();
  LinesUpTo("I|API_GetResolutions: GetResolutions called");

  Click(kWindowX + 772, kWindowY + 16);  // the close button, right end of the title bar
  ASSERT_EQ(launcher_->Wait(30s), 0) << launcher_->Output();
  const std::vector<std::string> lines = LinesUpTo("I|WinMain: Launcher exit", 5s);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_THAT(std::vector<std::string>(lines.end() - 2, lines.end()),
              ElementsAre("I|API_CloseWindow: CloseWindow called", "I|WinMain: Launcher exit"));
}

TEST_F(LauncherEndToEnd, TitleBarMovesTheWindowAndItsButtonsDoNot) {
  StartLauncher();
  const testing_support::XWindowId window = WaitForPaintedWindow();

  RunCommand({"xdotool", "mousemove", std::to_string(kWindowX + 100), std::to_string(kWindowY + 16),
              "mousedown", "1"});
  std::this_thread::sleep_for(300ms);
  for (int step = 1; step <= 4; ++step) {
    RunCommand({"xdotool", "mousemove", std::to_string(kWindowX + 100 + 30 * step),
                std::to_string(kWindowY + 16 + 20 * step)});
    std::this_thread::sleep_for(50ms);
  }
  RunCommand({"xdotool", "mouseup", "1"});
  std::this_thread::sleep_for(300ms);
  WindowGeometry geometry = testing_support::GetWindowGeometry(window);
  EXPECT_EQ(geometry.x, kWindowX + 120);
  EXPECT_EQ(geometry.y, kWindowY + 80);

  // The minimise button sits in the title bar but is no drag handle: a click only minimises
  // (which needs a window manager to show; here the window stays where it is).
  Click(geometry.x + 736, geometry.y + 16);
  EXPECT_THAT(LinesUpTo("I|API_MinimizeWindow: MinimizeWindow called", 20s),
              testing::Contains("I|API_MinimizeWindow: MinimizeWindow called"));
  geometry = testing_support::GetWindowGeometry(window);
  EXPECT_EQ(geometry.x, kWindowX + 120);
  EXPECT_EQ(geometry.y, kWindowY + 80);
}

TEST_F(LauncherEndToEnd, ChangedSettingIsStoredAndStartGameHandsItToTheGameAndExits) {
  fs::copy_file(VELMORA_ENGINE_RECORDER, install_.path() / "Engine.atm");
  StartLauncher();
  WaitForPaintedWindow();
  // The page attaches its change handlers once the launcher check is over and the game check has
  // been asked for. The game check fails (the server publishes nothing), which leaves the start
  // button enabled from the page's next status poll on.
  LinesUpTo("I|API_GetUpdateStatus: GetUpdateStatus called", 90s,
            "E|UpdateManager::SetError: UpdateManager error:");

  Click(kWindowX + 418, kWindowY + 348);  // the VSync box: on -> off
  const std::string saved =
      "I|API_SaveConfig: SaveConfig raw request: "
      R"(["{\"resolution\":\"1920x1080\",\"antiAliasing\":4,\"windowed\":false,)"
      R"(\"vsync\":false}"])";
  EXPECT_THAT(LinesUpTo(saved, 30s), testing::Contains(saved));
  // The entry line comes before the file is written: wait for the file.
  std::string stored;
  for (int i = 0; i < 500 && stored.find("VSync") == std::string::npos; ++i) {
    std::this_thread::sleep_for(10ms);
    stored = config_.Read("Velmora/Launcher.reg");
  }
  EXPECT_THAT(stored, HasSubstr("\"VSync\"=dword:00000000"));
  EXPECT_THAT(stored, HasSubstr("\"Resolution\"=\"1920x1080\""));

  Screenshot("launcher-before-start.png");
  Click(kWindowX + 399, kWindowY + 490);  // START GAME
  ASSERT_EQ(launcher_->Wait(30s), 0) << launcher_->Output();

  DisplaySettings settings;
  settings.vsync = false;
  const std::string record =
      EncodeDisplayParam(MakeDisplayParam(settings), platform::MachineName());
  const fs::path folder = fs::canonical(install_.path());
  EXPECT_THAT(Lines(install_.Read("engine_args.txt")),
              ElementsAre((folder / "Engine.atm").string(), "D", record, folder.string()));
  EXPECT_EQ(record.size(), 46u);
  EXPECT_THAT(LinesUpTo("I|WinMain: Launcher exit", 5s),
              testing::Contains("I|WinMain: Launcher exit"));
}

}  // namespace
