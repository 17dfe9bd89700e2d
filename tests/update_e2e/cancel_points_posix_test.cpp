// A cancel request at each of the workers' check points, each reached deterministically: a
// request the server holds until the cancel is raised, a game file under a lease whose opening
// waits for the test, or the status lock held while a download finishes.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/update/manager_access.h"
#include "tests/update_e2e/scenario.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;

// A game file under a write lease held by the test: the worker's open of it, to hash it, waits
// until the test lets the lease go, and the lease shows the test when that open began.
class LeasedFile {
 public:
  LeasedFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    if (!std::ofstream(path, std::ios::binary).write(content.data(), content.size()))
      throw std::runtime_error("cannot write the leased file");
    // Breaking the lease signals its holder; the test learns of it by asking instead.
    signal(SIGIO, SIG_IGN);
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0 || fcntl(fd_, F_SETLEASE, F_WRLCK) != 0)
      throw std::runtime_error("cannot take a lease on the file");
  }
  ~LeasedFile() { Finish(); }
  // Returns once someone opens the file, that is once the worker is about to hash it.
  void WaitForReader() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (fcntl(fd_, F_GETLEASE) == F_WRLCK) {
      if (std::chrono::steady_clock::now() > deadline)
        throw std::runtime_error("nobody opened the file");
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // Lets the worker's open go on.
  void Finish() {
    if (fd_ < 0) return;
    fcntl(fd_, F_SETLEASE, F_UNLCK);
    close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

const FileSet kTwoFiles{{"a.pak", "alpha"}, {"b.pak", "bravo"}};

// The update's statuses over kTwoFiles, from its start through the check of both files.
const std::vector<Step> kBothChecked{
    {"checking", 0, "Checking for updates..."},   {"checking", 20, "Downloading file list..."},
    {"verifying", 30, "Checking local files..."}, {"verifying", 40, "Checking: a.pak"},
    {"verifying", 50, "Checking: b.pak"},
};

// The first `count` of kBothChecked, then `rest`.
std::vector<Step> FirstStepsThen(std::size_t count, std::vector<Step> rest) {
  std::vector<Step> steps(kBothChecked.begin(), kBothChecked.begin() + static_cast<long>(count));
  steps.insert(steps.end(), rest.begin(), rest.end());
  return steps;
}

class CancelPoint : public Scenario {
 protected:
  void ServeTwoFiles() { SetStage({.published = kTwoFiles}); }

  // Cancels while the server holds the request for `name`, then lets the answer go.
  During CancelWhileHeld(const std::string& name) {
    server.Hold(name);
    return [this, name](UpdateManager& manager) {
      server.WaitUntilHeld(name);
      manager.CancelUpdate();
      server.Release(name);
    };
  }

  // Cancels while the worker opens the file at `path` to hash it.
  During CancelWhileHashing(const std::string& path) {
    leased_ = std::make_unique<LeasedFile>(GamePath(path), "not the file");
    return [this](UpdateManager& manager) {
      leased_->WaitForReader();
      manager.CancelUpdate();
      leased_->Finish();
    };
  }

  // Cancels right after the download of `path` has completed and replaced the file, while the
  // worker waits for the status lock to count it: the next check point is the next file's.
  During CancelAfterDownloadOf(const std::string& path, const std::string& content) {
    server.Hold("files/" + path);
    return [this, path, content](UpdateManager& manager) {
      server.WaitUntilHeld("files/" + path);
      const auto statusLock = UpdateManagerTestAccess::LockStatus(manager);
      server.Release("files/" + path);
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (Installed(path) != content && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      manager.CancelUpdate();
    };
  }

  std::unique_ptr<LeasedFile> leased_;
};

TEST_F(CancelPoint, UpdateAfterTheVersionDocument) {
  ServeTwoFiles();
  const RunRecord run = RunUpdate(CancelWhileHeld("version.json"));
  ExpectSteps(run, {
                       {"checking", 0, "Checking for updates..."},
                       {"idle", 0, "Update cancelled"},
                   });
  EXPECT_EQ(run.end.latestVersion, "");
  EXPECT_TRUE(GameFiles().empty());
}

TEST_F(CancelPoint, UpdateAfterTheManifest) {
  ServeTwoFiles();
  const RunRecord run = RunUpdate(CancelWhileHeld("manifest.json"));
  ExpectSteps(run, FirstStepsThen(2, {
                                         {"idle", 0, "Update cancelled"},
                                     }));
  EXPECT_EQ(run.end.latestVersion, "2.0");
  EXPECT_TRUE(GameFiles().empty());
}

TEST_F(CancelPoint, UpdateBetweenLocalChecks) {
  ServeTwoFiles();
  const RunRecord run = RunUpdate(CancelWhileHashing("a.pak"));
  ExpectSteps(run, FirstStepsThen(4, {
                                         {"idle", 0, "Update cancelled"},
                                     }));
  EXPECT_FALSE(fs::exists(GamePath("b.pak")));
  EXPECT_FALSE(fs::exists(GamePath("local_version.txt")));
}

TEST_F(CancelPoint, UpdateBeforeTheFirstDownload) {
  ServeTwoFiles();
  game.Write("a.pak", "alpha");
  const RunRecord run = RunUpdate(CancelWhileHashing("b.pak"));
  ExpectSteps(run, FirstStepsThen(5, {
                                         {"downloading", 50, "Downloading updates..."},
                                         {"idle", 0, "Update cancelled"},
                                     }));
  EXPECT_EQ(Installed("b.pak"), "not the file");  // not replaced
  EXPECT_EQ(run.end.filesTotal, 1);
  EXPECT_EQ(run.end.filesComplete, 0);
}

TEST_F(CancelPoint, UpdateBetweenDownloads) {
  ServeTwoFiles();
  const RunRecord run = RunUpdate(CancelAfterDownloadOf("a.pak", "alpha"));
  ExpectSteps(run, FirstStepsThen(5, {
                                         {"downloading", 50, "Downloading updates..."},
                                         {"downloading", 50, "Downloading: a.pak"},
                                         {"idle", 0, "Update cancelled"},
                                     }));
  EXPECT_EQ(Installed("a.pak"), "alpha");
  EXPECT_FALSE(fs::exists(GamePath("b.pak")));
  EXPECT_EQ(run.end.filesComplete, 1);
  EXPECT_FALSE(fs::exists(GamePath("local_version.txt")));
}

TEST_F(CancelPoint, UpdateDuringATransferFailsThatFileAndKeepsTheOldOne) {
  ServeTwoFiles();
  game.Write("a.pak", "old alpha");
  const RunRecord run = RunUpdate(CancelWhileHeld("files/a.pak"));
  EXPECT_EQ(run.end.errorDetail, "Failed to download: a.pak");
  ExpectSteps(run, FirstStepsThen(5, {
                                         {"downloading", 50, "Downloading updates..."},
                                         {"downloading", 50, "Downloading: a.pak"},
                                         {"error", 0, "Update failed"},
                                     }));
  EXPECT_EQ(Installed("a.pak"), "old alpha");
  // What arrived before the cancel took effect waits for the next pass to continue it.
  const std::vector<std::string> files = GameFiles();
  ASSERT_FALSE(files.empty());
  EXPECT_EQ(files.front(), "a.pak");
  if (files.size() > 1) {
    EXPECT_EQ(files, (std::vector<std::string>{"a.pak", "a.pak.velmora-part"}));
    const std::string kept = Installed("a.pak.velmora-part");
    EXPECT_FALSE(kept.empty());
    EXPECT_EQ(kept, std::string("alpha").substr(0, kept.size()));
  }
}

TEST_F(CancelPoint, RepairBeforeTheFirstCheck) {
  ServeTwoFiles();
  const RunRecord run = RunRepair(CancelWhileHeld("manifest.json"));
  ExpectSteps(run, {
                       {"checking", 0, "Starting file verification..."},
                       {"idle", 0, "Verification cancelled"},
                   });
  EXPECT_TRUE(GameFiles().empty());
}

TEST_F(CancelPoint, RepairBetweenChecks) {
  ServeTwoFiles();
  const RunRecord run = RunRepair(CancelWhileHashing("a.pak"));
  ExpectSteps(run, {
                       {"checking", 0, "Starting file verification..."},
                       {"verifying", 25, "Verifying: a.pak"},
                       {"idle", 0, "Verification cancelled"},
                   });
}

TEST_F(CancelPoint, RepairBeforeTheFirstFix) {
  ServeTwoFiles();
  game.Write("a.pak", "alpha");
  const RunRecord run = RunRepair(CancelWhileHashing("b.pak"));
  ExpectSteps(run, {
                       {"checking", 0, "Starting file verification..."},
                       {"verifying", 25, "Verifying: a.pak"},
                       {"verifying", 50, "Verifying: b.pak"},
                       {"idle", 0, "Verification cancelled"},
                   });
  EXPECT_EQ(run.end.filesTotal, 1);
  EXPECT_EQ(run.end.filesComplete, 0);
  EXPECT_EQ(Installed("b.pak"), "not the file");
}

TEST_F(CancelPoint, RepairBetweenFixes) {
  ServeTwoFiles();
  const RunRecord run = RunRepair(CancelAfterDownloadOf("a.pak", "alpha"));
  ExpectSteps(run, {
                       {"checking", 0, "Starting file verification..."},
                       {"verifying", 25, "Verifying: a.pak"},
                       {"verifying", 50, "Verifying: b.pak"},
                       {"downloading", 50, "Fixing: a.pak"},
                       {"idle", 0, "Verification cancelled"},
                   });
  EXPECT_EQ(run.end.filesComplete, 1);
  EXPECT_EQ(GameFiles(), std::vector<std::string>{"a.pak"});
}

}  // namespace
}  // namespace testing_support
