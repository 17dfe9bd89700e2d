// A log viewer window whose thread no longer takes messages: the launcher's lines wait for it a
// bounded time and then go on without it, instead of blocking in SendMessage for ever.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "log/log.h"
#include "platform/launcher_directory.h"
#include "platform/text.h"
#include "tests/support/log_capture.h"

namespace {

using namespace std::chrono_literals;

// The hung viewer as a process of its own, ended when the object goes.
class HungViewer {
 public:
  HungViewer() {
    const std::wstring program =
        Utf8ToUtf16((GetLauncherDirectory() + "\\hung_log_viewer.exe").c_str());
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process_)) {
      ADD_FAILURE() << "cannot start hung_log_viewer.exe: " << GetLastError();
      return;
    }
    for (int i = 0; i < 1000 && window_ == nullptr; ++i) {
      window_ = FindWindowA(nullptr, "TarsenWndLog");
      if (window_ == nullptr) Sleep(10);
    }
  }
  ~HungViewer() { End(); }
  HungViewer(const HungViewer&) = delete;
  HungViewer& operator=(const HungViewer&) = delete;

  HWND window() const { return window_; }

  // Ends the process; its window goes with it (which also releases a sender blocked on it).
  void End() {
    if (process_.hProcess == nullptr) return;
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, 10000);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
    process_ = {};
    for (int i = 0; i < 500 && FindWindowA(nullptr, "TarsenWndLog") != nullptr; ++i)
      Sleep(10);
  }

 private:
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

// Each line blocked for good before; with a bound of one second per line 40 lines would still
// take 40 s. The first line waits, the others pass the stuck window by.
TEST(LogViewerWaitWin32, HungViewerWindowCostsOneBoundedWait) {
  ASSERT_EQ(FindWindowA(nullptr, "TarsenWndLog"), nullptr) << "a viewer is running";
  HungViewer viewer;
  ASSERT_NE(viewer.window(), nullptr) << "the hung viewer did not open its window";

  std::future<void> logging = std::async(std::launch::async, [] {
    for (int i = 0; i < 40; ++i)
      LogInfo("line %d for a viewer that hung", i);
  });
  const bool ended = logging.wait_for(20s) == std::future_status::ready;
  viewer.End();
  logging.wait();
  EXPECT_TRUE(ended) << "logging blocked on a hung viewer window";
}

// The caller's last-error code survives a line that timed out, as it survives a delivered one.
TEST(LogViewerWaitWin32, TimedOutLineLeavesTheCallersLastError) {
  HungViewer viewer;
  ASSERT_NE(viewer.window(), nullptr);
  SetLastError(ERROR_FILE_NOT_FOUND);
  LogInfo("waits, then is dropped");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Once the hung viewer is gone, a responsive viewer gets every line at once, in order.
TEST(LogViewerWaitWin32, ResponsiveViewerAfterAHungOneReceivesEveryLine) {
  {
    HungViewer hung;
    ASSERT_NE(hung.window(), nullptr);
    LogInfo("to the hung viewer");
  }
  testing_support::LogCapture viewer;
  viewer.Start();
  for (int i = 0; i < 50; ++i)
    LogInfo("line %d", i);
  const auto messages = viewer.Messages(50);
  ASSERT_EQ(messages.size(), 50u);
  for (int i = 0; i < 50; ++i) {
    EXPECT_NE(messages[i].bytes.find("]: line " + std::to_string(i) + "\r\n"), std::string::npos)
        << messages[i].bytes;
  }
}

}  // namespace
