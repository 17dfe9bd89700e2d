// The game's display settings as the launcher stores them, and their reading and writing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/settings_store.h"

// One record per operation, starting from the values a fresh installation uses.
struct DisplaySettings {
  std::string resolution = "1920x1080";  // width, the letter x, height
  bool windowed = false;
  bool vsync = true;
  std::int32_t antiAliasing = 4;  // multisample count, any integer the page sent
  std::string version = "1.0.0.0";
};

struct StoredDisplaySettings {
  DisplaySettings settings;
  bool keyFound = false;  // false: the key could not be opened and every field is its default
};

enum class VersionRead { Skip, Include };

// Each field is read on its own and keeps its default when its value cannot be read.
StoredDisplaySettings ReadDisplaySettings(VersionRead version = VersionRead::Skip);

// Writes Resolution, Windowed, VSync and AntiAliasing, in that order, into a key opened for
// writing; Version is never touched. Returns the names of the values that were not stored.
std::vector<std::string> WriteDisplaySettings(platform::SettingsKey& key,
                                              const DisplaySettings& settings);
