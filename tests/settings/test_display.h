// A real display for the tests that need one (screen size, display modes, windows).
#pragma once

#include "platform/display.h"

namespace settings_testing {

// Makes sure this test program has a display and returns the size its screen was given.
// Linux starts its own Xvfb once per program (1600 x 900, so the size cannot be mistaken for the
// launcher's 1920 x 1080 default) and points DISPLAY at it; Windows tests run on the wine
// wrapper's 1920 x 1080 Xvfb display.
platform::ScreenSize EnsureTestDisplay();

}  // namespace settings_testing
