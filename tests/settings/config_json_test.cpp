// The settings object api_getConfig replies with, and the size a fullscreen save stores.
#include "settings/config_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "settings/fullscreen_rule.h"

namespace {

TEST(FormatConfigJson, DefaultsGiveTheExactText) {
  EXPECT_EQ(FormatConfigJson(DisplaySettings{}),
            R"({"resolution":"1920x1080","windowed":false,"vsync":true,"antiAliasing":4,)"
            R"("version":"1.0.0.0"})");
  DisplaySettings settings;
  settings.windowed = true;
  settings.vsync = false;
  settings.antiAliasing = -16;
  EXPECT_EQ(FormatConfigJson(settings),
            R"({"resolution":"1920x1080","windowed":true,"vsync":false,"antiAliasing":-16,)"
            R"("version":"1.0.0.0"})");
}

TEST(FormatConfigJson, HandEditedTextsStillParseAndAreNeverCut) {
  DisplaySettings settings;
  settings.resolution = "19\"20\\x1080\n\x01";
  settings.version = std::string(600, 'v') + "\xff";  // long, and not UTF-8 at the end
  const nlohmann::json parsed = nlohmann::json::parse(FormatConfigJson(settings));
  EXPECT_EQ(parsed["resolution"], settings.resolution);
  EXPECT_EQ(parsed["version"], std::string(600, 'v') + "\xEF\xBF\xBD");
  EXPECT_EQ(parsed["antiAliasing"], 4);
}

TEST(FullscreenRule, FullscreenStoresTheScreenSizeAndWindowedKeepsThePageChoice) {
  DisplaySettings settings;
  settings.resolution = "1280x720";
  settings.windowed = false;
  EXPECT_EQ(ApplyFullscreenRule(settings, {2560, 1440}).resolution, "2560x1440");
  EXPECT_EQ(ApplyFullscreenRule(settings, {0, 0}).resolution, "0x0");

  settings.windowed = true;
  settings.resolution = "not a size";
  const DisplaySettings kept = ApplyFullscreenRule(settings, {2560, 1440});
  EXPECT_EQ(kept.resolution, "not a size");
  EXPECT_TRUE(kept.windowed);
}

}  // namespace
