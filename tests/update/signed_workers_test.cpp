// The engine built with a signing key, on both systems (CNG under wine): the repair pass and the
// game update take a manifest only with a valid signature beside it, the launcher's own update a
// new launcher only with the signature of its bytes. Messages and signatures come from the
// openssl command at build time (make_signature_vectors.py); its short message is a manifest of
// one game file, kSignedFile at kSignedPath.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
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

// The game file that the signed manifest lists (make_signature_vectors.py writes its hash).
constexpr const char* kSignedPath = "data/signed.bin";
constexpr const char* kSignedFile =
    "The bytes of a game file that a signed manifest vouches for.\n";

struct Vector {
  bool valid = false;
  std::string key;
  std::string message;
  std::string signature;
};

// The vectors by case name.
std::map<std::string, Vector> Vectors() {
  std::map<std::string, Vector> vectors;
  std::ifstream in(VELMORA_SIGNATURE_VECTORS);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string expected, name, message;
    Vector vector;
    fields >> expected >> name >> vector.key >> message >> vector.signature;
    vector.valid = expected == "valid";
    if (message != "-") {
      const auto bytes = DecodeHex(message);
      vector.message.assign(bytes->begin(), bytes->end());
    }
    vectors[name] = vector;
  }
  return vectors;
}

class SignedWorkers : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::string(build_config::kSigningKey).size(), 128u) << "built without the test key";
    vectors = Vectors();
    ASSERT_GE(vectors.size(), 16u) << "cannot read " << VELMORA_SIGNATURE_VECTORS;
    viewer.Start();
  }

  std::vector<std::string> Run(void (UpdateManager::*start)(), UpdateManager& manager) {
    const std::size_t before = LoggedLines(viewer).size();
    (manager.*start)();
    FinishWorker(manager);
    std::vector<std::string> lines = LoggedLines(viewer);
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(before));
    return lines;
  }

  std::map<std::string, Vector> vectors;
  LoopbackServer server;
  LogCapture viewer;
};

TEST_F(SignedWorkers, ManifestCountsOnlyWithItsValidSignature) {
  const std::string signatureUrl = server.TreeUrl() + "manifest.json.sig";
  std::vector<std::pair<std::string, Vector>> served;
  for (const auto& [name, vector] : vectors) {
    if (vector.key == build_config::kSigningKey && !vector.message.empty() &&
        name != "large_message") {
      served.emplace_back(name, vector);
    }
  }
  Vector unsigned_ = vectors.at("short_message");
  unsigned_.valid = false;
  unsigned_.signature.clear();  // no manifest.json.sig on the server
  served.emplace_back("no_signature", unsigned_);

  for (const auto& [name, vector] : served) {
    SCOPED_TRACE(name);
    server.Publish("version.json", R"({"version":"2.0"})");
    server.Publish("manifest.json", vector.message);
    server.Publish(std::string("files/") + kSignedPath, kSignedFile);
    if (vector.signature.empty()) {
      server.Withdraw("manifest.json.sig");
    } else {
      server.Publish("manifest.json.sig", vector.signature + "\n");
    }
    const TempDir game("velmora signed game");
    UpdateManager manager(server.TreeUrl(), game.utf8());

    const std::vector<std::string> update = Run(&UpdateManager::CheckUpdate, manager);
    const UpdateStatus updated = manager.CopyStatus();
    const std::vector<std::string> repair = Run(&UpdateManager::FixClient, manager);
    const UpdateStatus repaired = manager.CopyStatus();
    if (vector.valid) {
      EXPECT_EQ(updated.message, "Update complete! Ready to play") << updated.errorDetail;
      EXPECT_EQ(game.Read(kSignedPath), kSignedFile);
      EXPECT_EQ(game.Read("local_version.txt"), "2.0");
      EXPECT_EQ(repaired.message, "All files verified successfully!") << repaired.errorDetail;
      EXPECT_TRUE(AnyLineHas(update, "]: Manifest signature verified: " + signatureUrl));
      EXPECT_TRUE(AnyLineHas(repair, "]: Manifest signature verified: " + signatureUrl));
      continue;
    }
    const std::string said = vector.signature.empty()
                                 ? "Manifest signature missing: " + signatureUrl
                                 : "Manifest signature wrong (it does not match";
    EXPECT_EQ(repaired.errorDetail, "Failed to parse manifest");
    EXPECT_TRUE(AnyLineHas(repair, "LAUNCHER|E|UpdateManager::VerifyWorker["));
    EXPECT_TRUE(AnyLineHas(repair, said));
    EXPECT_EQ(updated.errorDetail, "Failed to parse manifest");
    EXPECT_TRUE(AnyLineHas(update, "LAUNCHER|E|UpdateManager::UpdateWorker["));
    EXPECT_TRUE(AnyLineHas(update, said));
    EXPECT_TRUE(std::filesystem::is_empty(game.path())) << "nothing is written for it";
  }
}

TEST_F(SignedWorkers, NewLauncherCountsOnlyWithTheSignatureOfItsBytes) {
  const Vector& large = vectors.at("large_message");
  const Vector& small = vectors.at("short_message");
  std::string changed = large.message;
  changed[150000] ^= 1;
  const struct {
    const char* what;
    std::string program;          // the bytes served as the new launcher
    std::string signatureMember;  // what launcher_version.json adds
    const char* logged;           // what the error line says; nullptr: accepted
  } cases[] = {
      {"signed", large.message, R"(,"signature":")" + large.signature + "\"", nullptr},
      {"no signature", large.message, "", "missing"},
      {"empty signature", large.message, R"(,"signature":"")", "missing"},
      {"not a signature", large.message, R"(,"signature":"c0ffee")",
       "wrong (not 128 hexadecimal digits)"},
      {"another file's signature", large.message, R"(,"signature":")" + small.signature + "\"",
       "wrong (it does not match the signed bytes)"},
      {"a changed byte", changed, R"(,"signature":")" + large.signature + "\"",
       "wrong (it does not match the signed bytes)"},
      {"another key's signature", small.message,
       R"(,"signature":")" + vectors.at("other_keys_signature").signature + "\"",
       "wrong (it does not match the signed bytes)"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    const std::string url = server.TreeUrl() + "next.exe";
    server.Publish("next.exe", test.program);
    server.Publish("launcher_version.json", R"({"version":"1.0.4","launcher_url":")" + url + "\"" +
                                                test.signatureMember + "}");
    const TempDir folder("velmora signed launcher");
    UpdateManager manager(server.TreeUrl(), folder.utf8());
    const std::vector<std::string> lines = Run(&UpdateManager::CheckLauncherUpdate, manager);
    const UpdateStatus status = manager.CopyStatus();
    const bool folderEmpty = std::filesystem::is_empty(folder.path());

    if (test.logged == nullptr) {
      EXPECT_EQ(status.state, UpdateState::LauncherUpdateReady) << status.errorDetail;
      EXPECT_EQ(folder.Read("Launcher_v1.0.4.exe"), test.program);
      EXPECT_TRUE(AnyLineHas(lines, "]: Launcher signature verified: " + url));
      continue;
    }
    EXPECT_EQ(status.state, UpdateState::Error);
    EXPECT_EQ(status.errorDetail, "Failed to download launcher update");
    EXPECT_FALSE(manager.IsLauncherUpdateReady());
    EXPECT_TRUE(folderEmpty) << "neither the launcher nor its temporary file stays";
    EXPECT_TRUE(AnyLineHas(lines, "LAUNCHER|E|UpdateManager::LauncherUpdateWorker["));
    EXPECT_TRUE(
        AnyLineHas(lines, "]: Launcher signature " + std::string(test.logged) + ": " + url));
  }
}

}  // namespace
