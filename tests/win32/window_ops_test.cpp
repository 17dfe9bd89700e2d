// The window operations the launcher applies to its main window, on real windows of this
// process: the borderless style, centring on wine's 1920 x 1080 Xvfb screen, minimising, and a
// close request that arrives only after the caller has returned.
#include <windows.h>

#include <gtest/gtest.h>

#include "launcher/window_placement.h"
#include "platform/display.h"
#include "platform/window.h"

namespace {

constexpr wchar_t kClassName[] = L"VelmoraWindowOpsTest";

int closeRequests = 0;

LRESULT CALLBACK CountingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) ++closeRequests;
  return DefWindowProcW(window, message, wParam, lParam);
}

class WindowOpsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = CountingProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);
  }

  void TearDown() override {
    if (IsWindow(window_)) DestroyWindow(window_);
  }

  HWND Open(DWORD style, DWORD extendedStyle) {
    window_ = CreateWindowExW(extendedStyle, kClassName, L"ops", style, 100, 100, 300, 200, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    return window_;
  }

  HWND window_ = nullptr;
};

void Dispatch() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    DispatchMessageW(&message);
}

TEST_F(WindowOpsTest, BorderlessClearsTheFrameBitsAndKeepsEveryOtherBit) {
  // Frame bits to remove, plus bits of both styles that must survive.
  const HWND window = Open(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE,
                           WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE |
                               WS_EX_ACCEPTFILES | WS_EX_TOPMOST);
  ASSERT_NE(window, nullptr);
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  const LONG extended = GetWindowLongW(window, GWL_EXSTYLE);
  ASSERT_EQ(style & WS_OVERLAPPEDWINDOW, static_cast<LONG>(WS_OVERLAPPEDWINDOW));
  ASSERT_EQ(extended & WS_EX_CLIENTEDGE, WS_EX_CLIENTEDGE);

  platform::MakeBorderless(window);

  EXPECT_EQ(GetWindowLongW(window, GWL_STYLE),
            static_cast<LONG>((static_cast<DWORD>(style) & ~WS_OVERLAPPEDWINDOW) | WS_POPUP));
  const LONG removed = WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE;
  // The system keeps WS_EX_WINDOWEDGE in step with the frame on its own; every other bit must
  // be as it was.
  EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE,
            extended & ~removed & ~WS_EX_WINDOWEDGE);
}

TEST_F(WindowOpsTest, PlacedWindowIsCentredOnTheScreen) {
  const platform::ScreenSize screen = platform::PrimaryScreenSize();
  ASSERT_EQ(screen.width, 1920);  // wine's display is Xvfb -screen 0 1920x1080x24
  ASSERT_EQ(screen.height, 1080);
  const HWND window = Open(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0);
  platform::MakeBorderless(window);
  const launcher::WindowOrigin origin = launcher::CentredOrigin(screen);
  platform::PlaceWindow(window, origin.x, origin.y, 800, 600);

  RECT outer{};
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, 560);
  EXPECT_EQ(outer.top, 240);
  EXPECT_EQ(outer.right, 1360);
  EXPECT_EQ(outer.bottom, 840);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 800) << "the borderless window's client area is all of it";
  EXPECT_EQ(client.bottom, 600);
}

TEST_F(WindowOpsTest, MinimiseAndCloseActOnTheWindowAndIgnoreNull) {
  const HWND window = Open(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0);
  platform::MinimizeWindow(nullptr);
  platform::PostCloseWindow(nullptr);
  platform::MinimizeWindow(window);
  EXPECT_TRUE(IsIconic(window));

  closeRequests = 0;
  platform::PostCloseWindow(window);
  EXPECT_EQ(closeRequests, 0) << "the close request must wait until the caller has returned";
  EXPECT_TRUE(IsWindow(window));
  Dispatch();
  EXPECT_EQ(closeRequests, 1);
  EXPECT_FALSE(IsWindow(window));
}

}  // namespace
