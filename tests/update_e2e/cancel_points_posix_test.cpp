// A cancel request at each of the workers' check points, each reached deterministically: a
// request the server holds until the cancel is raised, a named pipe whose hashing waits for the
// test, or the status lock held while a download finishes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/update/manager_access.h"
#include "tests/update_e2e/scenario.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;

// A named pipe standing where a game file is expected: hashing it blocks in open until the test
// opens the other end, and ends when the test closes it.
class PipeInPlaceOfFile {
 public:
  explicit PipeInPlaceOfFile(const fs::path& path) : path_(path) {
    fs::create_directories(path.parent_path());
    if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  }
  ~PipeInPlaceOfFile() {
    if (fd_ >= 0) close(fd_);
  }
  // Returns once a reader has the pipe open, that is once the worker is hashing it.
  void WaitForReader() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((fd_ = open(path_.c_str(), O_WRONLY | O_NONBLOCK)) < 0) {
      if (errno != ENXIO || std::chrono::steady_clock::now() > deadline)
        throw std::runtime_error("nobody opened the pipe");
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // Lets the hash finish over `content`.
  void Finish(const std::string& content) {
    if (write(fd_, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
      throw std::runtime_error("cannot write the pipe");
    close(fd_);
    fd_ = -1;
  }

 private:
  fs::path path_;
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
  void ServeTwoFiles() {
    Publish(WriteClient("v2", kTwoFiles), "2.0");
    Serve();
  }

  // Cancels while the server holds the request for `name`, then lets the answer go.
  During CancelWhileHeld(const std::string& name) {
    server->Hold(name);
    return [this, name](UpdateManager& manager) {
      server->WaitUntilHeld(name);
      manager.CancelUpdate();
      server->Release(name);
    };
  }

  // Cancels while the worker hashes the pipe standing at `path`.
  During CancelWhileHashing(const std::string& path) {
    pipe_ = std::make_unique<PipeInPlaceOfFile>(GamePath(path));
    return [this](UpdateManager& manager) {
      pipe_->WaitForReader();
      manager.CancelUpdate();
      pipe_->Finish("not the file");
    };
  }

  // Cancels right after the download of `path` has completed and replaced the file, while the
  // worker waits for the status lock to count it: the next check point is the next file's.
  During CancelAfterDownloadOf(const std::string& path, const std::string& content) {
    server->Hold("files/" + path);
    return [this, path, content](UpdateManager& manager) {
      server->WaitUntilHeld("files/" + path);
      const auto statusLock = UpdateManagerTestAccess::LockStatus(manager);
      server->Release("files/" + path);
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (Installed(path) != content && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      manager.CancelUpdate();
    };
  }

  std::unique_ptr<PipeInPlaceOfFile> pipe_;
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
  EXPECT_TRUE(fs::is_fifo(GamePath("b.pak")));  // not replaced
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
  EXPECT_EQ(GameFiles(), std::vector<std::string>{"a.pak"});
  EXPECT_EQ(Installed("a.pak"), "old alpha");
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
  EXPECT_TRUE(fs::is_fifo(GamePath("b.pak")));
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
