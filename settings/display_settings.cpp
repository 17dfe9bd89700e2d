#include "settings/display_settings.h"

namespace {

constexpr char kResolution[] = "Resolution";
constexpr char kWindowed[] = "Windowed";
constexpr char kVSync[] = "VSync";
constexpr char kAntiAliasing[] = "AntiAliasing";
constexpr char kVersion[] = "Version";

}  // namespace

StoredDisplaySettings ReadDisplaySettings(VersionRead version) {
  StoredDisplaySettings stored;
  platform::SettingsKey key = platform::SettingsKey::OpenForReading();
  if (!key.IsOpen()) return stored;
  stored.keyFound = true;

  DisplaySettings& settings = stored.settings;
  if (auto text = key.ReadText(kResolution)) settings.resolution = std::move(*text);
  if (auto number = key.ReadNumber(kWindowed)) settings.windowed = *number != 0;
  if (auto number = key.ReadNumber(kVSync)) settings.vsync = *number != 0;
  if (auto number = key.ReadNumber(kAntiAliasing)) settings.antiAliasing = *number;
  if (version == VersionRead::Include) {
    if (auto text = key.ReadText(kVersion)) settings.version = std::move(*text);
  }
  key.Close();
  return stored;
}

std::vector<std::string> WriteDisplaySettings(platform::SettingsKey& key,
                                              const DisplaySettings& settings) {
  std::vector<std::string> failed;
  if (!key.WriteText(kResolution, settings.resolution)) failed.push_back(kResolution);
  if (!key.WriteNumber(kWindowed, settings.windowed ? 1 : 0)) failed.push_back(kWindowed);
  if (!key.WriteNumber(kVSync, settings.vsync ? 1 : 0)) failed.push_back(kVSync);
  if (!key.WriteNumber(kAntiAliasing, settings.antiAliasing)) failed.push_back(kAntiAliasing);
  return failed;
}
