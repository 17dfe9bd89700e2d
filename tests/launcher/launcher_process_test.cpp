// The launcher as a process, on the ways start-up can fail: it says so, in the log and in a
// dialog (or on the terminal without a display), and ends with exit code 1.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/log_socket_path.h"
#include "tests/launcher/support/child_process.h"
#include "tests/launcher/support/desktop_leaks.h"
#include "tests/launcher/support/log_lines.h"
#include "tests/launcher/support/x11_windows.h"
#include "tests/launcher/support/xvfb_display.h"
#include "tests/support/temp_dir.h"

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing_support::ChildProcess;
using testing_support::LauncherEnvironment;
using testing_support::LinesUntilNow;
using testing_support::LogCapture;
using namespace std::chrono_literals;

// A log viewer that took lines and then stopped reading: bound at the launcher's address, its
// queue filled up to the last place.
class StuckViewer {
 public:
  StuckViewer() : path_(platform::LogSocketPath()) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
    unlink(path_.c_str());
    listener_ = socket(AF_UNIX, SOCK_DGRAM, 0);
    sender_ = socket(AF_UNIX, SOCK_DGRAM, 0);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) return;
    const char line[] = "LAUNCHER|I|earlier[1]: a line the viewer never read\r\n";
    while (sendto(sender_, line, sizeof(line), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&address),
                  sizeof(address)) > 0) {
      ++queued_;
    }
    full_ = errno == EAGAIN;
  }
  ~StuckViewer() {
    close(sender_);
    close(listener_);
    unlink(path_.c_str());
  }
  bool full() const { return full_ && queued_ > 0; }

 private:
  std::string path_;
  int listener_ = -1;
  int sender_ = -1;
  int queued_ = 0;
  bool full_ = false;
};

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

// Every line used to wait until the viewer read it, so a viewer that stopped reading kept the
// launcher from ever opening its window.
TEST(LauncherProcess, ViewerThatStoppedReadingDoesNotHoldUpTheWindow) {
  const std::string display = testing_support::SharedDisplay().name();
  const StuckViewer viewer;
  ASSERT_TRUE(viewer.full());
  const testing_support::TempDir config("velmora-config");
  ChildProcess launcher({VELMORA_LAUNCHER},
                        LauncherEnvironment(display, {{"XDG_CONFIG_HOME", config.utf8()}}));
  EXPECT_TRUE(testing_support::FindWindowByTitle("Velmora Launcher", 60s)) << launcher.Output();
  launcher.Stop();
}

}  // namespace
