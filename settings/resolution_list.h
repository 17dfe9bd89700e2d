// The resolutions the player may choose, from the modes the display driver reports.
#pragma once

#include <string>
#include <vector>

#include "platform/display.h"

// At least 768 pixels high, wider than 1.3 times the height (4:3 passes, 5:4 does not) and no
// larger than the screen in either direction.
bool IsSelectableResolution(const platform::DisplayMode& mode, platform::ScreenSize screen);

// The selectable modes, each size once, in the order the driver first reported them (modes that
// differ only in depth or refresh rate are one entry).
std::vector<platform::DisplayMode> SelectableResolutions(
    platform::ScreenSize screen, const std::vector<platform::DisplayMode>& modes);

// Ascending by height only; equal heights keep their order.
std::vector<platform::DisplayMode> SortByHeight(std::vector<platform::DisplayMode> list);

// [{"width":W,"height":H,"label":"WxH"},...] with no spaces; [] for an empty list.
std::string FormatResolutionsJson(const std::vector<platform::DisplayMode>& list);
