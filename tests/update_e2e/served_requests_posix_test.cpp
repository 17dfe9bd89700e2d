// What the workers ask the patch server for: nothing they do not need, nothing twice.
#include <gtest/gtest.h>

#include "tests/update_e2e/scenario.h"
#include "tools/sampleclient/sample_client.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;

using ServedRequests = Scenario;

TEST_F(ServedRequests, AnInstalledVersionCostsOneSmallRequest) {
  SetStage({.published = ThreeFiles(), .installed = ThreeFiles(), .installedVersion = "2.0"});
  ASSERT_EQ(RunUpdate().end.state, UpdateState::UpToDate);
  EXPECT_EQ(server.Requests("version.json"), 1);
  EXPECT_EQ(server.Requests("manifest.json"), 0);
  for (const auto& [path, content] : ThreeFiles())
    EXPECT_EQ(server.Requests("files/" + path), 0);
}

TEST_F(ServedRequests, AnUpdateFetchesEachChangedFileOnceAndAgainNothing) {
  SetDemoStage();
  ASSERT_EQ(RunUpdate().end.state, UpdateState::Complete);
  ASSERT_EQ(RunUpdate().end.state, UpdateState::UpToDate);

  const auto first = sample_client::DemoClientFiles(1);
  for (const auto& file : sample_client::DemoClientFiles(2)) {
    const bool same = std::any_of(first.begin(), first.end(), [&](const auto& old) {
      return old.path == file.path && old.seed == file.seed && old.size == file.size;
    });
    EXPECT_EQ(server.Requests("files/" + file.path), same ? 0 : 1) << file.path;
  }
  EXPECT_EQ(server.Requests("version.json"), 2);
  EXPECT_EQ(server.Requests("manifest.json"), 1);
  EXPECT_EQ(server.Requests("manifest.json.sig"), 0) << "no signing key is built in";
}

TEST_F(ServedRequests, ARepairReadsNoVersionDocument) {
  SetStage({.published = ThreeFiles()});
  ASSERT_EQ(RunRepair().end.state, UpdateState::Complete);
  EXPECT_EQ(server.Requests("version.json"), 0);
  EXPECT_EQ(server.Requests("manifest.json"), 1);
  EXPECT_EQ(server.Requests("manifest.json.sig"), 0) << "no signing key is built in";
  EXPECT_EQ(server.Requests("files/readme.txt"), 1);
}

}  // namespace
}  // namespace testing_support
