// Links and special files planted in the game folder. Both passes refuse to follow a symbolic
// link on an entry's way (a folder, the file, its temporary file) with a clear error line and
// write nothing outside the game folder; a pipe where a file belongs is never opened, so it can
// neither block a pass nor be written to.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "tests/update_e2e/scenario.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;

// Should a pass open a pipe and wait in it, this lets it go after a while, so the test fails
// instead of hanging.
class PipeWatchdog {
 public:
  explicit PipeWatchdog(std::vector<fs::path> pipes) : pipes_(std::move(pipes)) {
    thread_ = std::thread([this] {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!done_ && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      for (const fs::path& pipe : pipes_) {
        const int fd = open(pipe.c_str(), O_RDWR | O_NONBLOCK);
        if (fd >= 0) close(fd);
      }
    });
  }
  ~PipeWatchdog() {
    done_ = true;
    thread_.join();
  }

 private:
  std::vector<fs::path> pipes_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

struct Planted {
  const char* name;
  std::function<void(const fs::path& game, const fs::path& outside)> plant;
  const char* failedEntry;  // "" when the pass ends well
  const char* errorLine;    // a text of the error line, when it fails
};

class PlantedFiles : public Scenario {
 protected:
  const FileSet client{{"a.pak", "alpha"}, {"data/b.pak", "bravo"}, {"maps/deep/x/c.map", "c"}};
  TempDir outside{"outside the game"};
};

const Planted kPlanted[] = {
    {"a folder link on the way",
     [](const fs::path& game, const fs::path& outside) {
       fs::create_directory_symlink(outside, game / "data");
     },
     "data/b.pak", "/data/b.pak: a symbolic link is in the way"},
    {"a folder link deeper down",
     [](const fs::path& game, const fs::path& outside) {
       fs::create_directories(game / "maps");
       fs::create_directory_symlink(outside, game / "maps" / "deep");
     },
     "maps/deep/x/c.map", "/maps/deep/x/c.map: a symbolic link is in the way"},
    {"a link at the file",
     [](const fs::path& game, const fs::path& outside) {
       fs::create_symlink(outside / "keep.txt", game / "a.pak");
     },
     "a.pak", "/a.pak: a symbolic link is in the way"},
    {"a link at the temporary name",
     [](const fs::path& game, const fs::path& outside) {
       fs::create_symlink(outside / "keep.txt", game / "a.pak.velmora-part");
     },
     "a.pak", "/a.pak.velmora-part: a symbolic link is in the way"},
    {"a dangling link at the temporary name",
     [](const fs::path& game, const fs::path& outside) {
       fs::create_symlink(outside / "created.txt", game / "a.pak.velmora-part");
     },
     "a.pak", "/a.pak.velmora-part: a symbolic link is in the way"},
    {"a pipe at the temporary name",
     [](const fs::path& game, const fs::path&) {
       mkfifo((game / "a.pak.velmora-part").c_str(), 0600);
     },
     "a.pak", "/a.pak.velmora-part: it is not a regular file"},
    {"a pipe at the file",
     [](const fs::path& game, const fs::path&) { mkfifo((game / "a.pak").c_str(), 0600); }, "", ""},
    {"a pipe at local_version.txt",
     [](const fs::path& game, const fs::path&) {
       mkfifo((game / "local_version.txt").c_str(), 0600);
     },
     "", ""},
};

std::vector<fs::path> PipesBelow(const fs::path& folder) {
  std::vector<fs::path> pipes;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_fifo()) pipes.push_back(entry.path());
  return pipes;
}

TEST_F(PlantedFiles, NoLinkIsFollowedAndNoPipeOpenedByEitherPass) {
  SetStage({.published = client});
  const struct {
    const char* name;
    std::function<RunRecord()> run;
  } passes[] = {{"update", [this] { return RunUpdate(); }},
                {"repair", [this] { return RunRepair(); }}};
  for (const Planted& planted : kPlanted) {
    for (const auto& pass : passes) {
      const std::string what = std::string(planted.name) + ", " + pass.name;
      fs::remove_all(game.path());
      fs::remove_all(outside.path());
      fs::create_directories(game.path());
      outside.Write("keep.txt", "outside the game folder");
      planted.plant(game.path(), outside.path());

      const auto start = std::chrono::steady_clock::now();
      RunRecord run;
      {
        const PipeWatchdog watchdog(PipesBelow(game.path()));
        run = pass.run();
      }
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << what;

      const std::string failed = planted.failedEntry;
      if (failed.empty()) {
        EXPECT_EQ(run.end.state, UpdateState::Complete) << what << ": " << run.end.errorDetail;
        EXPECT_EQ(Installed("a.pak"), "alpha") << what;
        EXPECT_TRUE(fs::is_regular_file(GamePath("a.pak"))) << what;
      } else {
        EXPECT_EQ(run.end.errorDetail, "Failed to download: " + failed) << what;
        EXPECT_TRUE(Logged(run, planted.errorLine)) << what;
      }
      // Nothing was written outside, through any link.
      EXPECT_EQ(outside.Read("keep.txt"), "outside the game folder") << what;
      std::size_t outsideFiles = 0;
      for ([[maybe_unused]] const auto& entry : fs::recursive_directory_iterator(outside.path()))
        ++outsideFiles;
      EXPECT_EQ(outsideFiles, 1u) << what;
    }
  }
}

}  // namespace
}  // namespace testing_support
