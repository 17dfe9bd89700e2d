// api_getConfig and api_saveConfig against the real store: the registry under wine, the
// settings file on Linux.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "settings/settings_api.h"
#include "tests/settings/log_entries.h"
#include "tests/settings/store_sandbox.h"
#include "tests/settings/test_display.h"
#include "tests/support/log_capture.h"

namespace {

using settings_testing::LogEntries;
using settings_testing::StoreSandbox;
using testing::ElementsAre;

constexpr char kDefaultJson[] =
    R"({"resolution":"1920x1080","windowed":false,"vsync":true,"antiAliasing":4,)"
    R"("version":"1.0.0.0"})";

std::string PageRequest(const std::string& resolution, int antiAliasing, bool windowed,
                        bool vsync) {
  // The page's key order.
  const std::string record = nlohmann::ordered_json{
      {"resolution", resolution},
      {"antiAliasing", antiAliasing},
      {"windowed", windowed},
      {"vsync", vsync}}.dump();
  return nlohmann::json::array({record}).dump();
}

TEST(GetConfig, FirstStartReportsTheDefaultsAndSaysSo) {
  StoreSandbox store;
  testing_support::LogCapture viewer;
  viewer.Start();
  EXPECT_EQ(API_GetConfig("[]"), kDefaultJson);
  EXPECT_THAT(LogEntries(viewer, 3),
              ElementsAre("I API_GetConfig: GetConfig called",
                          "I API_GetConfig: Registry key not found, using defaults",
                          std::string("I API_GetConfig: Config loaded: ") + kDefaultJson));
}

TEST(GetConfig, ReadsValuesAsAnotherProgramStoredThem) {
  StoreSandbox store;
  store.PutNumber("Windowed", 5);
  store.PutNumber("VSync", 0);
  store.PutNumber("AntiAliasing", 16);
  store.PutText("Version", "2.0.1.7");
  store.PutText("Resolution", std::string(299, '9'));  // 600 bytes as UTF-16 with the NUL
  testing_support::LogCapture viewer;
  viewer.Start();
  const std::string reply = API_GetConfig("[]");
  EXPECT_EQ(reply, R"({"resolution":"1920x1080","windowed":true,"vsync":false,"antiAliasing":16,)"
                   R"("version":"2.0.1.7"})");
  EXPECT_THAT(LogEntries(viewer, 2), ElementsAre("I API_GetConfig: GetConfig called",
                                                 "I API_GetConfig: Config loaded: " + reply));

  store.PutNumber("AntiAliasing", 0xFFFFFFF0u);
  store.PutText("Resolution", std::string(255, '7'));  // 255 units and the NUL: 512 bytes
  const nlohmann::json config = nlohmann::json::parse(API_GetConfig("[]"));
  EXPECT_EQ(config["antiAliasing"], -16);
  EXPECT_EQ(config["resolution"], std::string(255, '7'));
}

TEST(SaveConfig, WindowedStoresThePageChoiceAndLeavesVersionAlone) {
  StoreSandbox store;
  store.PutText("Version", "2.0.1.7");
  testing_support::LogCapture viewer;
  viewer.Start();
  const std::string request = PageRequest("1280x720", 8, true, false);
  EXPECT_EQ(API_SaveConfig(request), "true");

  EXPECT_EQ(store.Exported("Resolution"), "\"1280x720\"");
  EXPECT_EQ(store.Exported("Windowed"), "dword:00000001");
  EXPECT_EQ(store.Exported("VSync"), "dword:00000000");
  EXPECT_EQ(store.Exported("AntiAliasing"), "dword:00000008");
  EXPECT_EQ(store.Exported("Version"), "\"2.0.1.7\"");
  EXPECT_THAT(
      LogEntries(viewer, 4),
      ElementsAre("I API_SaveConfig: SaveConfig raw request: " + request,
                  "I API_SaveConfig: SaveConfig parsed JSON: "
                  R"({"resolution":"1280x720","antiAliasing":8,"windowed":true,"vsync":false})",
                  "I API_SaveConfig: Parsed config: resolution=1280x720, windowed=1, vsync=0, aa=8",
                  "I API_SaveConfig: Config saved to registry"));

  EXPECT_EQ(API_GetConfig("[]"),
            R"({"resolution":"1280x720","windowed":true,"vsync":false,"antiAliasing":8,)"
            R"("version":"2.0.1.7"})");
}

TEST(SaveConfig, FullscreenStoresTheScreenSizeWhateverThePageChose) {
  const platform::ScreenSize screen = settings_testing::EnsureTestDisplay();
  const std::string size = std::to_string(screen.width) + "x" + std::to_string(screen.height);
  StoreSandbox store;
  testing_support::LogCapture viewer;
  viewer.Start();
  // A space before true does not count as true: this is a fullscreen save.
  const std::string request =
      R"(["{\"resolution\":\"1024x768\",\"antiAliasing\":\"2\",\"windowed\": true,\"vsync\":true}"])";
  EXPECT_EQ(API_SaveConfig(request), "true");

  EXPECT_EQ(store.Exported("Resolution"), "\"" + size + "\"");
  EXPECT_EQ(store.Exported("Windowed"), "dword:00000000");
  EXPECT_EQ(store.Exported("VSync"), "dword:00000001");
  EXPECT_EQ(store.Exported("AntiAliasing"), "dword:00000000");  // a quoted number reads as 0
  const auto entries = LogEntries(viewer, 5);
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[2], "I API_SaveConfig: Fullscreen mode: forcing max resolution " + size);
  EXPECT_EQ(entries[3],
            "I API_SaveConfig: Parsed config: resolution=" + size + ", windowed=0, vsync=1, aa=0");
}

TEST(SaveConfig, KeyThatCannotBeCreatedRepliesFalseAndStoresNothing) {
  StoreSandbox store;
  store.BlockKeyCreation();
  testing_support::LogCapture viewer;
  viewer.Start();
  EXPECT_EQ(API_SaveConfig(PageRequest("1280x720", 8, true, false)), "false");
  const auto entries = LogEntries(viewer, 4);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[3], "E API_SaveConfig: Failed to create registry key");
  EXPECT_EQ(store.Exported("Resolution"), std::nullopt);
}

}  // namespace
