// The engine built with a signing key, on both systems (CNG under wine): the repair pass and the
// game update take a manifest only with a valid signature beside it. Manifests and signatures
// come from the openssl command at build time (make_signature_vectors.py); its short message is
// a manifest of no files.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/build_config.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/engine_test_support.h"
#include "tests/update/loopback_server.h"
#include "update/signed_content.h"
#include "update/update_manager.h"

using namespace testing_support;

namespace {

struct Served {
  std::string name;
  bool valid = false;
  std::string manifest;
  std::optional<std::string> signature;  // nothing: no manifest.json.sig on the server
};

// The vectors made with the built-in key, plus a manifest without any signature.
std::vector<Served> Publications() {
  std::vector<Served> served;
  std::ifstream in(VELMORA_SIGNATURE_VECTORS);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string expected, name, key, message, signature;
    fields >> expected >> name >> key >> message >> signature;
    if (key != build_config::kSigningKey || message == "-" || name == "large_message") continue;
    const auto bytes = DecodeHex(message);
    served.push_back(
        {name, expected == "valid", std::string(bytes->begin(), bytes->end()), signature + "\n"});
  }
  if (!served.empty()) served.push_back({"no_signature", false, served.front().manifest, {}});
  return served;
}

class SignedWorkers : public testing::Test {
 protected:
  void SetUp() override { viewer.Start(); }

  std::vector<std::string> Run(void (UpdateManager::*start)(), UpdateManager& manager) {
    const std::size_t before = LoggedLines(viewer).size();
    (manager.*start)();
    FinishWorker(manager);
    std::vector<std::string> lines = LoggedLines(viewer);
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(before));
    return lines;
  }

  LoopbackServer server;
  LogCapture viewer;
};

TEST_F(SignedWorkers, ManifestCountsOnlyWithItsValidSignature) {
  ASSERT_EQ(std::string(build_config::kSigningKey).size(), 128u) << "built without the test key";
  const std::vector<Served> publications = Publications();
  ASSERT_GE(publications.size(), 10u) << "cannot read " << VELMORA_SIGNATURE_VECTORS;
  const std::string signatureUrl = server.TreeUrl() + "manifest.json.sig";

  for (const Served& served : publications) {
    server.Publish("version.json", R"({"version":"2.0"})");
    server.Publish("manifest.json", served.manifest);
    if (served.signature) {
      server.Publish("manifest.json.sig", *served.signature);
    } else {
      server.Withdraw("manifest.json.sig");
    }
    const TempDir game("velmora signed game");
    UpdateManager manager(server.TreeUrl(), game.utf8());

    const std::vector<std::string> repair = Run(&UpdateManager::FixClient, manager);
    const UpdateStatus repaired = manager.CopyStatus();
    const std::vector<std::string> update = Run(&UpdateManager::CheckUpdate, manager);
    const UpdateStatus updated = manager.CopyStatus();
    if (served.valid) {
      EXPECT_EQ(repaired.message, "All files verified successfully!") << served.name;
      EXPECT_EQ(updated.message, "Game is up to date") << served.name;
      EXPECT_EQ(game.Read("local_version.txt"), "2.0") << served.name;
      EXPECT_TRUE(AnyLineHas(repair, "]: Manifest signature verified: " + signatureUrl));
      continue;
    }
    const std::string said = served.signature ? "Manifest signature wrong (it does not match"
                                              : "Manifest signature missing: " + signatureUrl;
    EXPECT_EQ(repaired.errorDetail, "Failed to parse manifest") << served.name;
    EXPECT_TRUE(AnyLineHas(repair, "LAUNCHER|E|UpdateManager::VerifyWorker[")) << served.name;
    EXPECT_TRUE(AnyLineHas(repair, said)) << served.name;
    EXPECT_EQ(updated.errorDetail, "Failed to parse manifest") << served.name;
    EXPECT_TRUE(AnyLineHas(update, "LAUNCHER|E|UpdateManager::UpdateWorker[")) << served.name;
    EXPECT_TRUE(AnyLineHas(update, said)) << served.name;
    EXPECT_EQ(game.Read("local_version.txt"), "") << served.name;
  }
}

}  // namespace
