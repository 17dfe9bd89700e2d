// api_getResolutions: the resolution drop-down's entries, built afresh on every call.
#include "log/log.h"
#include "platform/display.h"
#include "settings/resolution_list.h"
#include "settings/settings_api.h"

std::string API_GetResolutions(const std::string& /*request*/) {
  LogInfo("GetResolutions called");
  const platform::ScreenSize screen = platform::PrimaryScreenSize();
  LogInfo("Current screen resolution: %dx%d", screen.width, screen.height);

  const std::vector<platform::DisplayMode> modes = platform::EnumerateDisplayModes();
  std::vector<platform::DisplayMode> list = SelectableResolutions(screen, modes);
  for (const platform::DisplayMode& mode : list)
    LogInfo("Added resolution: %dx%d", mode.width, mode.height);
  LogInfo("EnumDisplaySettings iterated %d times", static_cast<int>(modes.size()));

  list = SortByHeight(std::move(list));
  std::string json = FormatResolutionsJson(list);
  LogInfo("Found %zu resolutions, JSON: %s", list.size(), json.c_str());
  return json;
}
