// api_getResolutions on a real display: Xvfb through XRandR on Linux, through wine's
// EnumDisplaySettingsA on Windows. Xvfb offers one mode, the screen's own size.
#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "settings/settings_api.h"
#include "tests/settings/log_entries.h"
#include "tests/settings/test_display.h"
#include "tests/support/log_capture.h"

namespace {

TEST(GetResolutions, ListsTheScreenSizeOfARealDisplayAndLogsEachStep) {
  const platform::ScreenSize screen = settings_testing::EnsureTestDisplay();
  const std::string size = std::to_string(screen.width) + "x" + std::to_string(screen.height);
  testing_support::LogCapture viewer;
  viewer.Start();
  const std::string reply = API_GetResolutions("[]");

  const nlohmann::json list = nlohmann::json::parse(reply);
  ASSERT_TRUE(list.is_array());
  bool screenListed = false;
  int previousHeight = 0;
  for (const nlohmann::json& entry : list) {
    const int width = entry.at("width");
    const int height = entry.at("height");
    EXPECT_EQ(entry.at("label"), std::to_string(width) + "x" + std::to_string(height));
    EXPECT_GE(height, previousHeight);
    EXPECT_GE(height, 768);
    EXPECT_LE(width, screen.width);
    EXPECT_LE(height, screen.height);
    screenListed = screenListed || (width == screen.width && height == screen.height);
    previousHeight = height;
  }
  EXPECT_TRUE(screenListed) << reply;

  const auto entries = settings_testing::LogEntries(viewer, 4 + list.size());
  ASSERT_GE(entries.size(), 5u) << testing::PrintToString(entries);
  EXPECT_EQ(entries[0], "I API_GetResolutions: GetResolutions called");
  EXPECT_EQ(entries[1], "I API_GetResolutions: Current screen resolution: " + size);
  EXPECT_NE(
      std::find(entries.begin(), entries.end(), "I API_GetResolutions: Added resolution: " + size),
      entries.end());
  EXPECT_EQ(
      entries[entries.size() - 2].rfind("I API_GetResolutions: EnumDisplaySettings iterated ", 0),
      0u);
  EXPECT_EQ(entries.back(), "I API_GetResolutions: Found " + std::to_string(list.size()) +
                                " resolutions, JSON: " + reply);
}

}  // namespace
