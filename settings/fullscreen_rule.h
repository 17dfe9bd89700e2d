// A fullscreen game runs at the primary screen's own size, whatever size the page chose.
#pragma once

#include <string>

#include "platform/display.h"
#include "settings/display_settings.h"

// Width, the letter x, height, in decimal ("%dx%d").
std::string FormatResolution(int width, int height);

// The settings to store: unchanged in windowed mode, otherwise with the resolution replaced by
// the screen's size.
DisplaySettings ApplyFullscreenRule(DisplaySettings settings, platform::ScreenSize screen);
