// Progress while one large file transfers: bytesComplete moves with the transfer in both passes,
// at most ten times a second, never backwards and never past the pass's total, while the percent
// and the message stay those of the file's start.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/engine_test_support.h"
#include "tests/update/loopback_server.h"
#include "tests/update/manager_access.h"
#include "update/update_manager.h"

using namespace testing_support;

namespace {

struct Sample {
  std::chrono::steady_clock::time_point at;
  UpdateStatus status;
};

TEST(TransferProgress, BytesCompleteMovesDuringOneLargeFileInBothPasses) {
  const struct {
    const char* name;
    void (UpdateManager::*start)();
    const char* message;  // the status while big.pak transfers
    int progress;
  } passes[] = {
      {"update", &UpdateManager::CheckUpdate, "Downloading: big.pak", 50},
      {"repair", &UpdateManager::FixClient, "Fixing: big.pak", 50},
  };
  // About 1.5 s at the server's 8 KiB per 5 ms.
  const std::string big = Pattern(2'400'000);
  for (const auto& pass : passes) {
    LoopbackServer server;
    TempDir dir("velmora progress");
    server.Publish("version.json", R"({"version":"2.0"})");
    server.Publish("manifest.json", ManifestFor({{"big.pak", big}}));
    server.Publish("files/big.pak", big);
    UpdateManager manager(server.SlowTreeUrl(), dir.utf8());

    std::vector<Sample> during;
    (manager.*pass.start)();
    for (UpdateStatus status = manager.CopyStatus();
         UpdateManagerTestAccess::HasWorker(manager) && status.state != UpdateState::Complete &&
         status.state != UpdateState::Error;
         status = manager.CopyStatus()) {
      if (status.message == pass.message)
        during.push_back({std::chrono::steady_clock::now(), status});
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    UpdateManagerTestAccess::JoinWorker(manager);
    const UpdateStatus end = manager.CopyStatus();
    ASSERT_EQ(end.state, UpdateState::Complete) << pass.name << ": " << end.errorDetail;
    EXPECT_EQ(end.bytesComplete, big.size()) << pass.name;
    ASSERT_GE(during.size(), 2u) << pass.name;

    std::set<std::uint64_t> counts;
    for (std::size_t i = 0; i < during.size(); ++i) {
      const UpdateStatus& status = during[i].status;
      EXPECT_EQ(status.progress, pass.progress) << pass.name;
      EXPECT_TRUE(status.filesComplete == 0 || status.bytesComplete == big.size()) << pass.name;
      EXPECT_LE(status.bytesComplete, status.bytesTotal) << pass.name;
      if (i > 0) {
        EXPECT_GE(status.bytesComplete, during[i - 1].status.bytesComplete) << pass.name;
      }
      if (status.bytesComplete > 0 && status.bytesComplete < big.size())
        counts.insert(status.bytesComplete);
    }
    EXPECT_GE(counts.size(), 4u) << pass.name << ": the count stood still during the transfer";
    const double seconds =
        std::chrono::duration<double>(during.back().at - during.front().at).count();
    EXPECT_LE(static_cast<double>(counts.size()), seconds * 10 + 2)
        << pass.name << ": more than ten updates a second";
  }
}

}  // namespace
