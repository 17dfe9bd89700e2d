#include <windows.h>

#include "platform/display.h"

namespace platform {

ScreenSize PrimaryScreenSize() {
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

std::vector<DisplayMode> EnumerateDisplayModes() {
  // One structure for every call, zeroed once: the driver fills what it reports.
  DEVMODEA mode{};
  mode.dmSize = sizeof(mode);
  mode.dmDriverExtra = 0;
  std::vector<DisplayMode> modes;
  for (DWORD index = 0; EnumDisplaySettingsA(nullptr, index, &mode); ++index) {
    modes.push_back({static_cast<int>(mode.dmPelsWidth), static_cast<int>(mode.dmPelsHeight)});
  }
  return modes;
}

}  // namespace platform
