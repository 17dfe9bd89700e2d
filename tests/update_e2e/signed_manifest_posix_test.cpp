// A launcher built with a signing key, against published trees served on loopback: the game
// update and the repair pass take a manifest only with the key's signature over exactly the bytes
// served, and refuse every other manifest before a single game file is fetched or written.
#include <gtest/gtest.h>

#include "tests/update_e2e/scenario.h"
#include "tools/publish/signing.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;
using patchserver::NotFound;
using patchserver::TextReply;

// What the server sends beside (or instead of) the published manifest and its signature.
enum class Served {
  Signed,
  Unsigned,
  SignedByAnotherKey,
  SignatureOfOtherBytes,
  ManifestChangedAfterSigning,
  TruncatedSignature,
  ErrorPageForSignature,
};

struct SignedCase {
  const char* name;
  Served served;
  const char* logged;  // what the error line says of the signature; nullptr: accepted
};

const SignedCase kCases[] = {
    {"Signed", Served::Signed, nullptr},
    {"Unsigned", Served::Unsigned, "missing"},
    {"SignedByAnotherKey", Served::SignedByAnotherKey,
     "wrong (it does not match the signed bytes)"},
    {"SignatureOfOtherBytes", Served::SignatureOfOtherBytes,
     "wrong (it does not match the signed bytes)"},
    {"ManifestChangedAfterSigning", Served::ManifestChangedAfterSigning,
     "wrong (it does not match the signed bytes)"},
    {"TruncatedSignature", Served::TruncatedSignature, "wrong (not 128 hexadecimal digits)"},
    {"ErrorPageForSignature", Served::ErrorPageForSignature, "wrong (not 128 hexadecimal digits)"},
};

enum class Pass { Update, Repair };

std::unique_ptr<publish::Signer> LoadSigner(const fs::path& file) {
  std::string error;
  std::unique_ptr<publish::Signer> signer = publish::Signer::Load(file, error);
  EXPECT_TRUE(signer) << error;
  return signer;
}

class SignedManifest : public Scenario,
                       public testing::WithParamInterface<std::tuple<SignedCase, Pass>> {
 protected:
  void SetUp() override {
    Scenario::SetUp();
    signer_ = LoadSigner(VELMORA_TEST_SIGNING_KEY_FILE);
  }

  publish::DocumentSigner Sign() const {
    return [this](std::string_view manifest) { return signer_->Sign(manifest); };
  }

  // Publishes ThreeFiles() as 2.0, signed unless the case serves no signature, and sets up the
  // server's answers for the case.
  void PublishAndServe(Served served) {
    SetStage({.published = ThreeFiles(),
              .signManifest = served == Served::Unsigned ? publish::DocumentSigner() : Sign()});
    const std::string manifest = Published("manifest.json");
    switch (served) {
      case Served::Signed:
      case Served::Unsigned:
        break;
      case Served::SignedByAnotherKey: {
        ASSERT_EQ(publish::MakeKeyPair(work.path() / "other.pem", work.path() / "other.pub").status,
                  publish::PublishStatus::Published);
        server.Answer("manifest.json.sig",
                      TextReply(LoadSigner(work.path() / "other.pem")->Sign(manifest) + "\n"));
        break;
      }
      case Served::SignatureOfOtherBytes:
        server.Answer("manifest.json.sig", TextReply(signer_->Sign(manifest + " ") + "\n"));
        break;
      case Served::ManifestChangedAfterSigning: {
        // Whoever controls the server swaps a file's hash for that of a file of its own.
        std::string changed = manifest;
        const std::size_t hash = changed.find("\"hash\": \"") + 9;
        changed.replace(hash, 16, "0123456789abcdef");
        server.Answer("manifest.json", TextReply(changed));
        break;
      }
      case Served::TruncatedSignature:
        server.Answer("manifest.json.sig",
                      TextReply(Published("manifest.json.sig").substr(0, 100)));
        break;
      case Served::ErrorPageForSignature:
        server.Answer("manifest.json.sig", TextReply("<html><body>Not here</body></html>\n"));
        break;
    }
  }

  std::unique_ptr<publish::Signer> signer_;
};

TEST_P(SignedManifest, OnlyTheKeysSignatureOverTheServedBytesIsTaken) {
  const auto& [test, pass] = GetParam();
  PublishAndServe(test.served);
  if (HasFatalFailure()) return;
  const RunRecord run = pass == Pass::Update ? RunUpdate() : RunRepair();
  const std::string worker =
      pass == Pass::Update ? "UpdateManager::UpdateWorker" : "UpdateManager::VerifyWorker";
  const std::string signatureUrl = server.TreeUrl() + "manifest.json.sig";

  if (test.logged == nullptr) {
    EXPECT_EQ(run.end.state, UpdateState::Complete) << run.end.errorDetail;
    for (const auto& [path, content] : ThreeFiles())
      EXPECT_EQ(Installed(path), content) << path;
    EXPECT_TRUE(Logged(run, "LAUNCHER|I|" + worker + "["));
    EXPECT_TRUE(Logged(run, "]: Manifest signature verified: " + signatureUrl));
    return;
  }
  EXPECT_EQ(run.end.state, UpdateState::Error);
  EXPECT_EQ(run.end.errorDetail, "Failed to parse manifest");
  const std::string line =
      "]: Manifest signature " + std::string(test.logged) + ": " + signatureUrl;
  EXPECT_TRUE(std::any_of(run.lines.begin(), run.lines.end(),
                          [&](const std::string& logged) {
                            return logged.starts_with("LAUNCHER|E|" + worker + "[") &&
                                   logged.ends_with(line);
                          }))
      << "no error line ending in " << line;
  EXPECT_TRUE(GameFiles().empty()) << "nothing may be written for a refused manifest";
  for (const auto& [path, content] : ThreeFiles())
    EXPECT_EQ(server.Requests("files/" + path), 0) << path;
}

INSTANTIATE_TEST_SUITE_P(, SignedManifest,
                         testing::Combine(testing::ValuesIn(kCases),
                                          testing::Values(Pass::Update, Pass::Repair)),
                         [](const testing::TestParamInfo<SignedManifest::ParamType>& param) {
                           return std::string(std::get<0>(param.param).name) +
                                  (std::get<1>(param.param) == Pass::Update ? "Update" : "Repair");
                         });

using SignedManifestAddress = Scenario;

// version.json may place the manifest elsewhere; its signature is looked for beside it.
TEST_F(SignedManifestAddress, SignatureIsFetchedBesideTheAnnouncedManifest) {
  std::string error;
  const auto signer = publish::Signer::Load(VELMORA_TEST_SIGNING_KEY_FILE, error);
  ASSERT_TRUE(signer) << error;
  SetStage({.published = ThreeFiles(),
            .signManifest = [&](std::string_view manifest) { return signer->Sign(manifest); }});
  server.Answer("version.json", TextReply(R"({"version": "2.0", "manifest_url": ")" +
                                          server.TreeUrl() + R"(elsewhere/list.json"})"));
  server.Answer("elsewhere/list.json", TextReply(Published("manifest.json")));
  server.Answer("elsewhere/list.json.sig", TextReply(Published("manifest.json.sig")));
  server.Answer("manifest.json", NotFound());

  const RunRecord run = RunUpdate();
  EXPECT_EQ(run.end.state, UpdateState::Complete) << run.end.errorDetail;
  EXPECT_EQ(server.Requests("elsewhere/list.json.sig"), 1);
  EXPECT_EQ(server.Requests("manifest.json.sig"), 0);
}

using SignedRepair = Scenario;

// The signed manifest vouches for the files through their hashes: a file the server swapped for
// one of its own (of the same size) is not installed by a repair, and the installed one stays.
TEST_F(SignedRepair, FileThatDoesNotMatchItsSignedHashIsNotInstalled) {
  std::string error;
  const auto signer = publish::Signer::Load(VELMORA_TEST_SIGNING_KEY_FILE, error);
  ASSERT_TRUE(signer) << error;
  SetStage({.published = ThreeFiles(),
            .installed = ThreeFiles(),
            .installedVersion = "2.0",
            .signManifest = [&](std::string_view manifest) { return signer->Sign(manifest); }});
  game.Write("readme.txt", "damaged\n");
  server.Answer("files/readme.txt", TextReply("read us\n"));

  const RunRecord run = RunRepair();
  EXPECT_EQ(run.end.state, UpdateState::Error);
  EXPECT_EQ(run.end.errorDetail, "Downloaded file corrupted: readme.txt");
  EXPECT_EQ(Installed("readme.txt"), "damaged\n");
  EXPECT_EQ(GameFiles().size(), 4u) << "no download left beside the file";
}

}  // namespace
}  // namespace testing_support
