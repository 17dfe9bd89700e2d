// Where the launcher window goes on the screen.
#pragma once

#include "platform/display.h"

namespace launcher {

inline constexpr int kWindowWidth = 800;
inline constexpr int kWindowHeight = 600;

struct WindowOrigin {
  int x;
  int y;
};

// Centres the window on `screen`; a screen smaller than the window gives negative coordinates,
// and odd differences round toward zero.
constexpr WindowOrigin CentredOrigin(platform::ScreenSize screen) {
  return {(screen.width - kWindowWidth) / 2, (screen.height - kWindowHeight) / 2};
}

}  // namespace launcher
