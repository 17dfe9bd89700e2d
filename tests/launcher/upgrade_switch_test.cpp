#include "launcher/upgrade_switch.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLineRequestsUpgrade, FindsTheSwitchAnywhereInTheText) {
  EXPECT_TRUE(CommandLineRequestsUpgrade("--upgrade"));
  EXPECT_TRUE(CommandLineRequestsUpgrade("\"C:\\Games\\Launcher_v1.0.4.exe\" --upgrade"));
  EXPECT_TRUE(CommandLineRequestsUpgrade("-x --upgrade-now"));
  EXPECT_TRUE(CommandLineRequestsUpgrade("a--upgradeb"));
}

TEST(CommandLineRequestsUpgrade, IsCaseSensitiveAndNeedsTheWholeSwitch) {
  EXPECT_FALSE(CommandLineRequestsUpgrade(nullptr));
  EXPECT_FALSE(CommandLineRequestsUpgrade(""));
  EXPECT_FALSE(CommandLineRequestsUpgrade("--UPGRADE"));
  EXPECT_FALSE(CommandLineRequestsUpgrade("--Upgrade"));
  EXPECT_FALSE(CommandLineRequestsUpgrade("-upgrade"));
  EXPECT_FALSE(CommandLineRequestsUpgrade("--upgrad"));
}

}  // namespace
