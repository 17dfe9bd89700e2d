#include "launcher/bridge.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

// The page looks these names up when its script starts and falls back to its stand-alone mode
// when one is missing, so their spelling and number are part of the launcher's interface.
TEST(BridgeFunctions, AreTheThirteenPageFunctionsInBindingOrder) {
  std::vector<std::string> names;
  for (const launcher::BridgeFunction& function : launcher::BridgeFunctions()) {
    names.push_back(function.name);
    EXPECT_NE(function.operation, nullptr) << function.name;
  }
  EXPECT_THAT(names, testing::ElementsAre(
                         "api_startGame", "api_getConfig", "api_saveConfig", "api_getResolutions",
                         "api_getUpdateStatus", "api_checkUpdate", "api_fixClient",
                         "api_cancelUpdate", "api_checkLauncherUpdate", "api_applyLauncherUpdate",
                         "api_minimizeWindow", "api_closeWindow", "api_getLauncherVersion"));
}

}  // namespace
