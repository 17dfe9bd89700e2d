#include "settings/resolution_list.h"

#include <algorithm>

#include "settings/fullscreen_rule.h"

namespace {

constexpr int kMinimumHeight = 768;
constexpr float kMinimumAspect = 1.3f;

bool SameSize(const platform::DisplayMode& a, const platform::DisplayMode& b) {
  return a.width == b.width && a.height == b.height;
}

}  // namespace

bool IsSelectableResolution(const platform::DisplayMode& mode, platform::ScreenSize screen) {
  if (mode.height < kMinimumHeight) return false;
  // Single precision on purpose: it decides the modes right at the limit.
  if (!(static_cast<float>(mode.width) / static_cast<float>(mode.height) > kMinimumAspect))
    return false;
  return mode.width <= screen.width && mode.height <= screen.height;
}

std::vector<platform::DisplayMode> SelectableResolutions(
    platform::ScreenSize screen, const std::vector<platform::DisplayMode>& modes) {
  std::vector<platform::DisplayMode> list;
  for (const platform::DisplayMode& mode : modes) {
    if (!IsSelectableResolution(mode, screen)) continue;
    const auto same = [&mode](const platform::DisplayMode& entry) { return SameSize(entry, mode); };
    if (std::none_of(list.begin(), list.end(), same)) list.push_back(mode);
  }
  return list;
}

std::vector<platform::DisplayMode> SortByHeight(std::vector<platform::DisplayMode> list) {
  std::stable_sort(list.begin(), list.end(),
                   [](const platform::DisplayMode& a, const platform::DisplayMode& b) {
                     return a.height < b.height;
                   });
  return list;
}

std::string FormatResolutionsJson(const std::vector<platform::DisplayMode>& list) {
  std::string json = "[";
  for (const platform::DisplayMode& mode : list) {
    if (json.size() > 1) json += ',';
    json += "{\"width\":" + std::to_string(mode.width) +
            ",\"height\":" + std::to_string(mode.height) + ",\"label\":\"" +
            FormatResolution(mode.width, mode.height) + "\"}";
  }
  return json + "]";
}
