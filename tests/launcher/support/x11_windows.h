// What the X server says about windows and pixels on the display named by $DISPLAY.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace testing_support {

using XWindowId = unsigned long;

struct WindowGeometry {
  int x = 0;  // outer top-left corner, in root-window coordinates
  int y = 0;
  int width = 0;
  int height = 0;
};

struct Rgb {
  int red = 0;
  int green = 0;
  int blue = 0;
};

// The first mapped top-level window whose title (_NET_WM_NAME, else WM_NAME) is `title`,
// waiting up to `timeout` for it to appear.
std::optional<XWindowId> FindWindowByTitle(const std::string& title,
                                           std::chrono::milliseconds timeout);
WindowGeometry GetWindowGeometry(XWindowId window);
std::string GetWindowTitle(XWindowId window);
// True when the window asks the window manager for no decorations (_MOTIF_WM_HINTS).
bool RequestsNoDecorations(XWindowId window);
// The colour of one screen pixel.
Rgb ScreenPixel(int x, int y);

}  // namespace testing_support
