// The launcher as a process, on the ways start-up can fail: it says so, in the log and in a
// dialog (or on the terminal without a display), and ends with exit code 1.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "tests/launcher/support/child_process.h"
#include "tests/launcher/support/desktop_leaks.h"
#include "tests/launcher/support/log_lines.h"
#include "tests/launcher/support/x11_windows.h"
#include "tests/launcher/support/xvfb_display.h"

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing_support::ChildProcess;
using testing_support::LauncherEnvironment;
using testing_support::LinesUntilNow;
using testing_support::LogCapture;
using namespace std::chrono_literals;

TEST(LauncherProcess, WithoutADisplayItSaysSoOnTheTerminalAndExitsWithOne) {
  LogCapture log;
  log.Start();
  ChildProcess launcher({VELMORA_LAUNCHER, "-x", "--upgrade-now"},
                        LauncherEnvironment(std::nullopt));
  ASSERT_EQ(launcher.Wait(60s), 1) << launcher.Output();

  EXPECT_THAT(launcher.Output(),
              HasSubstr("Error: The launcher window could not be created: no display "
                        "(DISPLAY is not set)."));
  EXPECT_THAT(LinesUntilNow(log),
              ElementsAre("I|WinMain: Launcher starting with args: -x --upgrade-now",
                          "I|WinMain: Upgrade mode detected",
                          "I|HandleUpgradeMode: Upgrade mode: my path = " +
                              std::filesystem::canonical(VELMORA_LAUNCHER).string(),
                          "I|HandleUpgradeMode: Already named Launcher.exe, nothing to upgrade",
                          "E|WinMain: Failed to create the web view: no display "
                          "(DISPLAY is not set)"));
}

TEST(LauncherProcess, UpgradeSwitchInCapitalsIsNotTheSwitch) {
  LogCapture log;
  log.Start();
  ChildProcess launcher({VELMORA_LAUNCHER, "--UPGRADE"}, LauncherEnvironment(std::nullopt));
  ASSERT_EQ(launcher.Wait(60s), 1) << launcher.Output();
  EXPECT_THAT(LinesUntilNow(log),
              ElementsAre("I|WinMain: Launcher starting with args: --UPGRADE",
                          "E|WinMain: Failed to create the web view: no display "
                          "(DISPLAY is not set)"));
}

TEST(LauncherProcess, MissingPageShowsAnErrorDialogAndExitsWithOneOnceItIsDismissed) {
  const std::string display = testing_support::SharedDisplay().name();
  LogCapture log;
  log.Start();
  ChildProcess launcher({VELMORA_LAUNCHER_WITHOUT_PAGE}, LauncherEnvironment(display));

  const auto dialog = testing_support::FindWindowByTitle("Error", 60s);
  ASSERT_TRUE(dialog) << launcher.Output();
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(launcher.Running()) << "the launcher must wait for the dialog";
  EXPECT_FALSE(testing_support::FindWindowByTitle("Velmora Launcher", 0ms))
      << "the launcher window must not be shown without its page";

  // Without a window manager the keyboard follows the pointer.
  const testing_support::WindowGeometry box = testing_support::GetWindowGeometry(*dialog);
  testing_support::RunCommand({"xdotool", "mousemove", std::to_string(box.x + box.width / 2),
                               std::to_string(box.y + box.height / 2), "key", "Return"});
  ASSERT_EQ(launcher.Wait(30s), 1) << launcher.Output();

  const std::vector<std::string> lines = LinesUntilNow(log);
  ASSERT_GE(lines.size(), 10u);
  EXPECT_THAT(
      std::vector<std::string>(lines.end() - 4, lines.end()),
      ElementsAre("I|WinMain: HTML resource size: 0 bytes",
                  "I|WinMain: CSS resource size: 20 bytes", "I|WinMain: JS resource size: 12 bytes",
                  "E|WinMain: Failed to load embedded HTML resource"));
}

}  // namespace
