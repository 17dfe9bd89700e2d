#include "settings/fullscreen_rule.h"

std::string FormatResolution(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

DisplaySettings ApplyFullscreenRule(DisplaySettings settings, platform::ScreenSize screen) {
  if (!settings.windowed) settings.resolution = FormatResolution(screen.width, screen.height);
  return settings;
}
