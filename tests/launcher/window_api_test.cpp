#include "launcher/window_api.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/main_window.h"
#include "tests/launcher/support/log_lines.h"

namespace {

using testing::ElementsAre;
using testing_support::LinesUntilNow;
using testing_support::LogCapture;

TEST(WindowApi, WindowOperationsWithoutAWindowLogTheirEntryAndReplyTrue) {
  ASSERT_EQ(mainWindow, nullptr);
  LogCapture log;
  log.Start();
  EXPECT_EQ(API_MinimizeWindow("[]"), "true");
  EXPECT_EQ(API_CloseWindow("[]"), "true");
  EXPECT_THAT(LinesUntilNow(log), ElementsAre("I|API_MinimizeWindow: MinimizeWindow called",
                                              "I|API_CloseWindow: CloseWindow called"));
}

TEST(WindowApi, VersionIsTheJsonStringOfTheBuildVersionAndLogsNothing) {
  LogCapture log;
  log.Start();
  EXPECT_EQ(API_GetLauncherVersion("[]"), "\"1.0.3\"");
  EXPECT_THAT(LinesUntilNow(log), ElementsAre());
}

}  // namespace
