// Temporary files left in the game folder by a crash: both passes remove those of files the
// manifest no longer lists or that are current, leave the rest of the folder alone, and continue
// (or, when it cannot be a beginning of the file, replace) the one of a file they download.
#include <gtest/gtest.h>

#include <functional>

#include "tests/update_e2e/scenario.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;

using LeftoverFiles = Scenario;

const FileSet kClient{{"a.pak", "alpha"}, {"data/b.pak", "bravo"}};

struct PassCase {
  const char* name;
  std::function<RunRecord()> run;
  const char* installedVersion;  // local_version.txt afterwards
};

TEST_F(LeftoverFiles, BothPassesRemoveOnlyThoseNoDownloadContinues) {
  const PassCase passes[] = {
      {"update", [this] { return RunUpdate(); }, "2.0"},
      {"repair", [this] { return RunRepair(); }, "1.0"},
  };
  SetStage({.published = kClient});
  for (const PassCase& pass : passes) {
    fs::remove_all(game.path());
    Install({{"a.pak", "alpha"}}, "1.0");
    game.Write("a.pak.velmora-part", "listed and current: of no use");
    game.Write("data/b.pak.velmora-part", "a crash left this, longer than the file");
    game.Write("old.pak.velmora-part", "no longer listed");
    game.Write("data/gone/c.pak.velmora-part", "no longer listed");
    game.Write("local_version.txt.velmora-part", "9.9");
    game.Write("notes.txt", "the player's own file");

    const RunRecord run = pass.run();
    EXPECT_EQ(run.end.state, UpdateState::Complete) << pass.name << ": " << run.end.errorDetail;
    EXPECT_EQ(GameFiles(),
              (std::vector<std::string>{"a.pak", "data/b.pak", "local_version.txt", "notes.txt"}))
        << pass.name;
    EXPECT_EQ(Installed("data/b.pak"), "bravo") << pass.name;
    EXPECT_EQ(Installed("notes.txt"), "the player's own file") << pass.name;
    EXPECT_EQ(Installed("local_version.txt"), pass.installedVersion) << pass.name;
    EXPECT_TRUE(Logged(run, "]: Removed leftover temporary file old.pak.velmora-part"))
        << pass.name;
    EXPECT_TRUE(Logged(run, "]: Removed leftover temporary file a.pak.velmora-part")) << pass.name;
    EXPECT_TRUE(Logged(run, "]: Removed leftover temporary file data/gone/c.pak.velmora-part"))
        << pass.name;
  }
}

TEST_F(LeftoverFiles, ACurrentClientIsCleanedToo) {
  SetStage({.published = kClient, .installed = kClient, .installedVersion = "1.0"});
  game.Write("data/old.pak.velmora-part", "no longer listed");
  const RunRecord run = RunRepair();
  EXPECT_EQ(run.end.message, "All files verified successfully!");
  EXPECT_FALSE(fs::exists(GamePath("data/old.pak.velmora-part")));
}

}  // namespace
}  // namespace testing_support
