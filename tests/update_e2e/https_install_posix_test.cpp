// Passes over HTTPS from the project's nginx: each pass of the workers is served over one
// connection, every request of it one after the other, and nothing else changes.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tests/support/web_server.h"
#include "tests/update_e2e/scenario.h"
#include "tools/sampleclient/sample_client.h"

namespace testing_support {
namespace {

using HttpsPasses = Scenario;

TEST_F(HttpsPasses, EachPassKeepsOneConnectionForAllItsRequests) {
  Publish(WriteDemoClient(2), "1.1");
  WebServer nginx(server.TreeFolder());
  otherServerUrl = nginx.BaseUrl();
  const std::size_t files = sample_client::DemoClientFiles(2).size();

  ASSERT_EQ(RunUpdate().end.message, "Update complete! Ready to play");
  const std::size_t updateRequests = nginx.Requests().size();
  EXPECT_EQ(updateRequests, files + 2) << "version.json, manifest.json and every file";

  const std::string damaged = sample_client::DemoClientFiles(2).front().path;
  game.Write(damaged, "damaged");
  ASSERT_EQ(RunRepair().end.state, UpdateState::Complete);
  EXPECT_EQ(Installed(damaged), sample_client::FileContent(sample_client::DemoClientFiles(2)[0]));

  const auto requests = nginx.Requests();
  ASSERT_EQ(requests.size(), updateRequests + 2) << "manifest.json and the damaged file";
  std::map<std::uint64_t, std::set<std::string>> byConnection;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    EXPECT_EQ(requests[i].status, 200) << requests[i].uri;
    byConnection[requests[i].connection].insert(i < updateRequests ? "update" : "repair");
  }
  ASSERT_EQ(byConnection.size(), 2u) << "one connection per pass";
  for (const auto& [connection, passes] : byConnection)
    EXPECT_EQ(passes.size(), 1u) << "connection " << connection << " served both passes";
}

}  // namespace
}  // namespace testing_support
