// The engine's state: setters, the status report, starting and cancelling workers, and the
// bridge operations.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/engine_test_support.h"
#include "tests/update/loopback_server.h"
#include "tests/update/manager_access.h"
#include "update/update_api.h"
#include "update/update_manager.h"

using namespace testing_support;

namespace {

class Manager : public ::testing::Test {
 protected:
  void SetUp() override { viewer.Start(); }

  LoopbackServer server;
  TempDir dir;
  UpdateManager manager{server.TreeUrl(), dir.utf8()};
  LogCapture viewer;
};

std::size_t CountLinesWith(const std::vector<std::string>& lines, const std::string& text) {
  std::size_t count = 0;
  for (const std::string& line : lines)
    count += line.find(text) != std::string::npos;
  return count;
}

}  // namespace

TEST_F(Manager, FreshReportAndItsLogLine) {
  EXPECT_EQ(manager.GetStatusJson(),
            R"({"state":"idle","progress":0,"message":"Ready","canStart":true,)"
            R"("currentVersion":"","latestVersion":"","filesTotal":0,"filesComplete":0,)"
            R"("bytesTotal":0,"bytesComplete":0,"errorDetail":""})");
  const auto lines = LoggedLines(viewer);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].rfind("LAUNCHER|I|API_GetUpdateStatus[", 0) == 0) << lines[0];
  EXPECT_NE(lines[0].find("]: GetUpdateStatus called"), std::string::npos);
}

TEST_F(Manager, SettersApplyTheStartRuleAndKeepTheLastError) {
  manager.SetStatus(UpdateState::Verifying, 42, "Checking: a \"b\" \\ c");
  EXPECT_FALSE(StatusOf(manager).canStart);
  manager.SetStatus(UpdateState::Error, 5, "odd");
  EXPECT_FALSE(StatusOf(manager).canStart) << "only SetError makes Error startable";
  manager.SetError("Failed to download: x \"y\"");
  UpdateStatus status = StatusOf(manager);
  EXPECT_EQ(status.state, UpdateState::Error);
  EXPECT_EQ(status.progress, 0);
  EXPECT_EQ(status.message, "Update failed");
  EXPECT_TRUE(status.canStart);
  manager.SetStatus(UpdateState::Complete, 100, "Update complete! Ready to play");
  status = StatusOf(manager);
  EXPECT_TRUE(status.canStart);
  EXPECT_EQ(status.errorDetail, "Failed to download: x \"y\"");

  const auto report = nlohmann::json::parse(manager.GetStatusJson());
  EXPECT_EQ(report["errorDetail"], "Failed to download: x \"y\"");

  const auto lines = LoggedLines(viewer);
  EXPECT_TRUE(AnyLineHas(lines, "LAUNCHER|I|UpdateManager::SetStatus["));
  EXPECT_TRUE(AnyLineHas(lines, "]: UpdateManager: Checking: a \"b\" \\ c (42%)"));
  EXPECT_TRUE(AnyLineHas(lines, "LAUNCHER|E|UpdateManager::SetError["));
  EXPECT_TRUE(AnyLineHas(lines, "]: UpdateManager error: Failed to download: x \"y\""));
}

TEST_F(Manager, TwoQuickStartsRunOneWorker) {
  server.Publish("version.json", R"({"version":"1.0"})");
  dir.Write("local_version.txt", "1.0");
  manager.CheckUpdate();
  manager.CheckUpdate();
  manager.FixClient();
  FinishWorker(manager);
  const auto lines = LoggedLines(viewer);
  EXPECT_EQ(CountLinesWith(lines, "UpdateWorker started"), 1u);
  EXPECT_EQ(CountLinesWith(lines, "VerifyWorker started"), 0u);
  EXPECT_EQ(StatusOf(manager).message, "Game is up to date");
}

TEST_F(Manager, ACancelWhileIdleIsForgotten) {
  server.Publish("version.json", R"({"version":"1.0"})");
  dir.Write("local_version.txt", "1.0");
  manager.CancelUpdate();
  manager.CheckUpdate();
  FinishWorker(manager);
  EXPECT_EQ(StatusOf(manager).state, UpdateState::UpToDate);
}

TEST_F(Manager, NothingStartsWhileALauncherUpdateIsReady) {
  manager.SetStatus(UpdateState::LauncherUpdateReady, 100, "ready");
  manager.CheckUpdate();
  manager.FixClient();
  manager.CheckLauncherUpdate();
  EXPECT_FALSE(UpdateManagerTestAccess::HasWorker(manager));
  EXPECT_EQ(StatusOf(manager).message, "ready");
}

TEST_F(Manager, AnErrorAllowsTheNextRun) {
  manager.SetError("earlier failure");
  server.Publish("version.json", R"({"version":"1.0"})");
  dir.Write("local_version.txt", "1.0");
  manager.CheckUpdate();
  FinishWorker(manager);
  const UpdateStatus status = StatusOf(manager);
  EXPECT_EQ(status.state, UpdateState::UpToDate);
  EXPECT_EQ(status.errorDetail, "earlier failure");
}

TEST(UpdateBridge, ApplyWithoutAReadyUpdateAnswersFalseAndLogsOnlyItsEntry) {
  LogCapture viewer;
  viewer.Start();
  EXPECT_EQ(API_ApplyLauncherUpdate("[]"), "false");
  EXPECT_EQ(API_CancelUpdate("[]"), "true");
  EXPECT_NO_THROW(nlohmann::json::parse(API_GetUpdateStatus("[]")));
  const auto lines = LoggedLines(viewer);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[0].rfind("LAUNCHER|I|API_ApplyLauncherUpdate[", 0) == 0) << lines[0];
  EXPECT_NE(lines[0].find("]: ApplyLauncherUpdate called"), std::string::npos);
  EXPECT_TRUE(lines[1].rfind("LAUNCHER|I|API_CancelUpdate[", 0) == 0) << lines[1];
  EXPECT_TRUE(lines[2].rfind("LAUNCHER|I|API_GetUpdateStatus[", 0) == 0) << lines[2];
}
