// The hand-over to a downloaded launcher: the new program starts with --upgrade in the launcher
// folder and this process ends with code 0.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/update/engine_test_support.h"
#include "tests/update/loopback_server.h"
#include "update/update_manager.h"

using namespace testing_support;

TEST(LauncherHandOver, StartsTheNewLauncherWithUpgradeAndEnds) {
  LoopbackServer server;
  TempDir dir("velmora hand over");
  UpdateManager manager(server.TreeUrl(), dir.utf8());
  server.Publish("launcher_version.json",
                 R"({"version":"1.0.4","launcher_url":")" + server.TreeUrl() + R"(next"})");
  server.Publish("next", "#!/bin/sh\necho \"$@\" > started.txt\n");
  manager.CheckLauncherUpdate();
  FinishWorker(manager);
  ASSERT_EQ(StatusOf(manager).state, UpdateState::LauncherUpdateReady);

  EXPECT_EXIT(manager.ApplyLauncherUpdate(), ::testing::ExitedWithCode(0), "");

  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (dir.Read("started.txt").empty() && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(dir.Read("started.txt"), "--upgrade\n") << "started in the launcher folder";
}
