// The primary screen and the display modes the driver offers.
#pragma once

#include <vector>

namespace platform {

struct ScreenSize {
  int width = 0;
  int height = 0;
};

struct DisplayMode {
  int width = 0;
  int height = 0;
};

// Current size of the primary screen in pixels; 0 x 0 when there is no display.
ScreenSize PrimaryScreenSize();

// Every mode the current display device reports, in the driver's order, duplicates (modes that
// differ only in depth or refresh rate) included; empty when there is no display.
std::vector<DisplayMode> EnumerateDisplayModes();

}  // namespace platform
