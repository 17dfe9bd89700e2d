// Starting a real Engine.atm (the recorder program under that name) and what the launcher does
// around it: the record on its command line, its working folder, the log, the window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/launcher_directory.h"
#include "platform/machine_name.h"
#include "platform/main_window.h"
#include "platform/path_separator.h"
#include "settings/display_param.h"
#include "settings/game_start.h"
#include "settings/settings_api.h"
#include "tests/settings/log_entries.h"
#include "tests/settings/store_sandbox.h"
#include "tests/settings/test_display.h"
#include "tests/settings/test_window.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using settings_testing::LogEntries;
using settings_testing::StoreSandbox;
using settings_testing::TestWindow;
using testing::ElementsAre;

// 2560 x 1440, windowed, vsync off, 8 samples keyed with HOST, worked out by hand in
// display_param_test.cpp.
constexpr char kStoredRecordForHost[] = "EFE2F4F34FEDF4F3EEE8F4F3EFE8F4F3E7E8F4F3EFE8F4";

// The recorder, built beside this test program, copied into `folder` as Engine.atm.
void InstallRecorder(const fs::path& folder) {
  const fs::path executable = fs::u8path(GetExecutablePath());
  fs::path recorder = executable.parent_path() / "engine_recorder";
  recorder += executable.extension();  // .exe on Windows
  fs::copy_file(recorder, folder / "Engine.atm");
}

// The lines of engine_args.txt, once the recorder has written all `count` of them.
std::vector<std::string> RecordedLines(const testing_support::TempDir& folder, std::size_t count) {
  std::vector<std::string> lines;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    lines.clear();
    std::istringstream text(folder.Read("engine_args.txt"));
    for (std::string line; std::getline(text, line);)
      lines.push_back(line);
    if (lines.size() >= count) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return lines;
}

// Points mainWindow at a real window for one test.
class MainWindowStandIn {
 public:
  MainWindowStandIn() {
    settings_testing::EnsureTestDisplay();
    window_ = std::make_unique<TestWindow>();
    mainWindow = window_->handle();
  }
  ~MainWindowStandIn() { mainWindow = nullptr; }
  TestWindow& window() { return *window_; }

 private:
  std::unique_ptr<TestWindow> window_;
};

TEST(StartGame, StartsEngineFromAFolderWithSpacesAndClosesTheWindow) {
  StoreSandbox store;
  store.PutText("Resolution", "2560x1440");
  store.PutNumber("Windowed", 7);
  store.PutNumber("VSync", 0);
  store.PutNumber("AntiAliasing", 8);
  testing_support::TempDir folder("velmora game \xC3\xA9");  // é
  InstallRecorder(folder.path());
  MainWindowStandIn launcherWindow;
  testing_support::LogCapture viewer;
  viewer.Start();

  ASSERT_TRUE(StartGameFrom(folder.utf8(), "HOST"));

  const std::string program = folder.utf8() + platform::PathSeparator() + "Engine.atm";
  EXPECT_THAT(RecordedLines(folder, 4),
              ElementsAre(program, "D", kStoredRecordForHost, folder.utf8()));
  EXPECT_THAT(
      LogEntries(viewer, 4),
      ElementsAre(
          "I API_StartGame: StartGame with: resolution=2560x1440, windowed=1, vsync=0, aa=8",
          "I API_StartGame: sizeof(LAUNCHER_DISPLAY_PARAM)=24, paramSize=23",
          "I API_StartGame: Command line: \"" + program + "\" D " + kStoredRecordForHost,
          "I API_StartGame: Engine.atm started successfully"));
  EXPECT_TRUE(launcherWindow.window().CloseRequested(std::chrono::seconds(5)));
}

TEST(StartGame, MissingEngineRepliesFalseLogsCode2AndKeepsTheWindow) {
  StoreSandbox store;  // no key: the defaults go into the record
  MainWindowStandIn launcherWindow;
  testing_support::LogCapture viewer;
  viewer.Start();

  // This program's own folder, which holds no Engine.atm.
  ASSERT_FALSE(fs::exists(fs::u8path(GetLauncherDirectory()) / "Engine.atm"));
  EXPECT_EQ(API_StartGame("[]"), "false");

  const std::string record = EncodeDisplayParam(MakeDisplayParam({}), platform::MachineName());
  EXPECT_THAT(
      LogEntries(viewer, 5),
      ElementsAre(
          "I API_StartGame: StartGame called",
          "I API_StartGame: StartGame with: resolution=1920x1080, windowed=0, vsync=1, aa=4",
          "I API_StartGame: sizeof(LAUNCHER_DISPLAY_PARAM)=24, paramSize=23",
          "I API_StartGame: Command line: \"" + GetLauncherDirectory() + platform::PathSeparator() +
              "Engine.atm\" D " + record,
          "E API_StartGame: Failed to start Engine.atm, error=2"));
  EXPECT_FALSE(launcherWindow.window().CloseRequested(std::chrono::milliseconds(300)));
}

TEST(MachineName, IsAtMost15UpperCaseCharacters) {
  const std::string name = platform::MachineName();
  EXPECT_FALSE(name.empty());
  EXPECT_LE(name.size(), 15u);
  for (const char c : name)
    EXPECT_FALSE(c >= 'a' && c <= 'z') << name;
}

}  // namespace
