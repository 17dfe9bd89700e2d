// "Fix Client" against a published patch tree served on loopback.
#include <gtest/gtest.h>

#include "tests/update_e2e/scenario.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;

using RepairScenario = Scenario;

TEST_F(RepairScenario, RestoresADeletedAndADamagedFileAndNothingElse) {
  SetStage({.published = ThreeFiles(),
            .installed = ThreeFiles(),
            .installedVersion = "an older version"});
  fs::remove(GamePath("bin/core.bin"));
  game.Write("readme.txt", "read me, scribbled over\n");
  Backdate(game.path());
  server.Answer("version.json", patchserver::NotFound());  // the repair reads no version document
  const RunRecord run = RunRepair();

  ExpectSteps(run, {
                       {"checking", 0, "Starting file verification..."},
                       {"verifying", 16, "Verifying: bin/core.bin"},
                       {"verifying", 33, "Verifying: data/maps/Fjällheim deep/cave 1.map"},
                       {"verifying", 50, "Verifying: readme.txt"},
                       {"downloading", 50, "Fixing: bin/core.bin"},
                       {"downloading", 72, "Fixing: readme.txt"},
                       {"complete", 100, "All files fixed successfully!"},
                   });
  for (const auto& [path, content] : ThreeFiles())
    EXPECT_EQ(Installed(path), content) << path;
  EXPECT_TRUE(Backdated(GamePath("data/maps/Fjällheim deep/cave 1.map")));
  EXPECT_EQ(Installed("local_version.txt"), "an older version");
  EXPECT_TRUE(Logged(run, "]: Need to fix 2 files"));
  EXPECT_EQ(run.end.filesTotal, 2);
  EXPECT_EQ(run.end.filesComplete, 2);
  EXPECT_EQ(run.end.bytesTotal, 100008u);
  EXPECT_EQ(run.end.bytesComplete, 100008u);  // repairs count their bytes too
  EXPECT_EQ(GameFiles().size(), 4u);
}

TEST_F(RepairScenario, AFailedRepairKeepsWhatItFixedAndCountsIt) {
  const FileSet files{{"a.pak", "a"}, {"b.pak", "b"}, {"c.pak", "c"}, {"d.pak", "d"}};
  SetStage({.published = files});
  server.Answer("files/b.pak", patchserver::NotFound());
  const RunRecord run = RunRepair();

  ExpectSteps(run, {
                       {"checking", 0, "Starting file verification..."},
                       {"verifying", 12, "Verifying: a.pak"},
                       {"verifying", 25, "Verifying: b.pak"},
                       {"verifying", 37, "Verifying: c.pak"},
                       {"verifying", 50, "Verifying: d.pak"},
                       {"downloading", 50, "Fixing: a.pak"},
                       {"downloading", 61, "Fixing: b.pak"},
                       {"error", 0, "Update failed"},
                   });
  EXPECT_EQ(run.end.errorDetail, "Failed to download: b.pak");
  EXPECT_EQ(run.end.filesTotal, 4);
  EXPECT_EQ(run.end.filesComplete, 1);
  EXPECT_EQ(GameFiles(), std::vector<std::string>{"a.pak"});
  EXPECT_EQ(Installed("a.pak"), "a");
}

TEST_F(RepairScenario, ARepairThatDoesNotMatchItsHashKeepsTheDamagedFileAndFails) {
  const std::string core = ThreeFiles().at("bin/core.bin");
  const struct {
    const char* name;
    std::string served;
  } answers[] = {
      {"an error page", "<html><body>Service unavailable</body></html>"},
      {"the file cut short", core.substr(0, core.size() / 2)},
      {"nothing", ""},
  };
  SetStage({.published = ThreeFiles()});
  for (const auto& answer : answers) {
    fs::remove_all(game.path());
    Install(ThreeFiles(), "");
    game.Write("bin/core.bin", "damaged core");
    server.Answer("files/bin/core.bin", patchserver::TextReply(answer.served));
    const RunRecord run = RunRepair();

    EXPECT_EQ(run.end.errorDetail, "Downloaded file corrupted: bin/core.bin") << answer.name;
    ExpectSteps(run, {
                         {"checking", 0, "Starting file verification..."},
                         {"verifying", 16, "Verifying: bin/core.bin"},
                         {"verifying", 33, "Verifying: data/maps/Fjällheim deep/cave 1.map"},
                         {"verifying", 50, "Verifying: readme.txt"},
                         {"downloading", 50, "Fixing: bin/core.bin"},
                         {"error", 0, "Update failed"},
                     });
    EXPECT_EQ(Installed("bin/core.bin"), "damaged core") << answer.name;
    EXPECT_EQ(run.end.filesComplete, 0) << answer.name;
    EXPECT_EQ(GameFiles().size(), 3u) << answer.name << ": no temporary file stays";
  }
}

TEST_F(RepairScenario, AnIntactClientIsLeftAloneWithThePreviousCounters) {
  SetStage({.published = ThreeFiles()});
  ASSERT_EQ(RunUpdate().end.state, UpdateState::Complete);
  Backdate(game.path());
  const RunRecord run = RunRepair();

  ExpectSteps(run, {
                       {"checking", 0, "Starting file verification..."},
                       {"verifying", 16, "Verifying: bin/core.bin"},
                       {"verifying", 33, "Verifying: data/maps/Fjällheim deep/cave 1.map"},
                       {"verifying", 50, "Verifying: readme.txt"},
                       {"complete", 100, "All files verified successfully!"},
                   });
  for (const auto& [path, content] : ThreeFiles())
    EXPECT_TRUE(Backdated(GamePath(path))) << path;
  EXPECT_EQ(run.end.filesTotal, 3);  // from the update before
  EXPECT_EQ(run.end.filesComplete, 3);
}

TEST_F(RepairScenario, RepairsTheDemoClientAfterAnUpdate) {
  SetDemoStage();
  ASSERT_EQ(RunUpdate().end.state, UpdateState::Complete);
  fs::remove_all(GamePath("data/maps/new region"));
  game.Write("system/physics.bin", "truncated");
  const RunRecord run = RunRepair();

  ASSERT_EQ(run.end.state, UpdateState::Complete) << run.end.errorDetail;
  EXPECT_EQ(run.end.filesTotal, 3);
  EXPECT_TRUE(Logged(run, "]: UpdateManager: Fixing: data/maps/new region/outpost.map ("));
  EXPECT_TRUE(Logged(run, "]: UpdateManager: Fixing: system/physics.bin ("));
  EXPECT_EQ(run.unparsable, 0);
}

}  // namespace
}  // namespace testing_support
