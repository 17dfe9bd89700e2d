// api_getConfig and api_saveConfig: the page's view of the stored display settings.
#include "log/log.h"
#include "platform/display.h"
#include "settings/config_json.h"
#include "settings/display_settings.h"
#include "settings/fullscreen_rule.h"
#include "settings/request_fields.h"
#include "settings/settings_api.h"

std::string API_GetConfig(const std::string& /*request*/) {
  LogInfo("GetConfig called");
  const StoredDisplaySettings stored = ReadDisplaySettings(VersionRead::Include);
  if (!stored.keyFound) LogInfo("Registry key not found, using defaults");
  std::string json = FormatConfigJson(stored.settings);
  LogInfo("Config loaded: %s", json.c_str());
  return json;
}

std::string API_SaveConfig(const std::string& request) {
  LogInfo("SaveConfig raw request: %s", request.c_str());
  const std::string text = UnwrapRequest(request);
  LogInfo("SaveConfig parsed JSON: %s", text.c_str());

  DisplaySettings settings = SettingsFromRequestText(text);
  if (!settings.windowed) {
    settings = ApplyFullscreenRule(std::move(settings), platform::PrimaryScreenSize());
    LogInfo("Fullscreen mode: forcing max resolution %s", settings.resolution.c_str());
  }
  LogInfo("Parsed config: resolution=%s, windowed=%d, vsync=%d, aa=%d", settings.resolution.c_str(),
          settings.windowed ? 1 : 0, settings.vsync ? 1 : 0,
          static_cast<int>(settings.antiAliasing));

  platform::SettingsKey key = platform::SettingsKey::CreateForWriting();
  if (!key.IsOpen()) {
    LogError("Failed to create registry key");
    return "false";
  }
  // Every value is attempted; the page is told "true" only when all of them were stored.
  bool stored = true;
  for (const std::string& name : WriteDisplaySettings(key, settings)) {
    LogError("Failed to write registry value %s", name.c_str());
    stored = false;
  }
  if (!key.Close()) {
    LogError("Failed to save registry key");
    stored = false;
  }
  if (!stored) return "false";
  LogInfo("Config saved to registry");
  return "true";
}
