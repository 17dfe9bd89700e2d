// The studio's side of signing: the key pair the publisher makes, and signatures of publications
// that the launcher's own check takes.
#include "tools/publish/signing.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/launcher_directory.h"
#include "tests/support/temp_dir.h"
#include "tools/publish/launcher_release.h"
#include "tools/publish/publisher.h"
#include "update/signed_content.h"
#include "update/version_documents.h"

namespace publish {
namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == '\n')
    text.pop_back();
  return text;
}

std::unique_ptr<Signer> Load(const fs::path& key) {
  std::string error;
  std::unique_ptr<Signer> signer = Signer::Load(key, error);
  EXPECT_TRUE(signer) << error;
  return signer;
}

int RunTool(const std::string& arguments) {
  const fs::path tool = fs::path(GetLauncherDirectory()) / "publish";
  const std::string command = "'" + tool.string() + "' " + arguments + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

class SigningTest : public testing::Test {
 protected:
  fs::path Key() const { return keys.path() / "studio.pem"; }
  fs::path PublicKey() const { return keys.path() / "studio.pub"; }
  std::string PublicText() const { return Trimmed(keys.Read("studio.pub")); }

  TempDir keys{"signing keys"};
  TempDir client{"signing client"};
  TempDir out{"signing out"};
};

TEST_F(SigningTest, KeyPairIsAPrivateFileAndOneLineOfThePublicHalf) {
  ASSERT_EQ(MakeKeyPair(Key(), PublicKey()).status, PublishStatus::Published);
  struct stat facts {};
  ASSERT_EQ(stat(Key().c_str(), &facts), 0);
  EXPECT_EQ(facts.st_mode & 0777, 0600u) << "only its owner may read the private key";
  const std::string line = keys.Read("studio.pub");
  ASSERT_EQ(line.size(), 129u);
  EXPECT_EQ(line.back(), '\n');
  EXPECT_TRUE(DecodeHex(PublicText()));
  EXPECT_EQ(Load(Key())->PublicKeyText(), PublicText());

  // A second pair never replaces a key that may already be built into launchers.
  const std::string privateBefore = keys.Read("studio.pem");
  EXPECT_EQ(MakeKeyPair(Key(), keys.path() / "other.pub").status, PublishStatus::Refused);
  EXPECT_EQ(MakeKeyPair(keys.path() / "other.pem", PublicKey()).status, PublishStatus::Refused);
  EXPECT_EQ(keys.Read("studio.pem"), privateBefore);
  EXPECT_FALSE(fs::exists(keys.path() / "other.pem"));
  EXPECT_FALSE(fs::exists(keys.path() / "other.pub"));
}

TEST_F(SigningTest, SignaturesOfBytesAndFilesPassTheLaunchersCheckAndNoOther) {
  ASSERT_EQ(MakeKeyPair(Key(), PublicKey()).status, PublishStatus::Published);
  const auto signer = Load(Key());
  const std::string text = "{\"version\": \"2.0\"}\n";
  const std::string signature = signer->Sign(text);
  EXPECT_EQ(CheckSignature(PublicText(), text, signature), SignatureCheck::Valid);
  EXPECT_EQ(CheckSignature(PublicText(), text + " ", signature), SignatureCheck::Wrong);

  const fs::path big = client.Write("Launcher.exe", std::string(300000, 'L'));
  const std::string fileSignature = signer->SignFile(big);
  EXPECT_EQ(CheckFileSignature(PublicText(), big.string(), fileSignature), SignatureCheck::Valid);
  EXPECT_EQ(signer->SignFile(client.path() / "absent"), "");

  ASSERT_EQ(MakeKeyPair(keys.path() / "other.pem", keys.path() / "other.pub").status,
            PublishStatus::Published);
  EXPECT_EQ(CheckSignature(Trimmed(keys.Read("other.pub")), text, signature),
            SignatureCheck::Wrong);
}

TEST_F(SigningTest, KeyFilesThatAreNoP256PrivateKeyAreRefused) {
  ASSERT_EQ(MakeKeyPair(Key(), PublicKey()).status, PublishStatus::Published);
  ASSERT_EQ(std::system(("openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out " +
                         Quoted(keys.path() / "p384.pem") + " 2>/dev/null")
                            .c_str()),
            0);
  const struct {
    fs::path file;
    std::string reason;
  } cases[] = {
      {keys.path() / "absent.pem", "cannot read the signing key"},
      {PublicKey(), "holds no private key in PEM form"},
      {keys.path() / "p384.pem", "is not a P-256 (prime256v1) key"},
  };
  for (const auto& test : cases) {
    std::string error;
    EXPECT_FALSE(Signer::Load(test.file, error)) << test.file;
    EXPECT_NE(error.find(test.reason), std::string::npos) << error;
  }
}

TEST_F(SigningTest, ReplacingASignedTreeUnsignedLeavesNoStaleSignature) {
  ASSERT_EQ(MakeKeyPair(Key(), PublicKey()).status, PublishStatus::Published);
  const auto signer = Load(Key());
  client.Write("a.pak", "a");
  const DocumentSigner sign = [&](std::string_view manifest) { return signer->Sign(manifest); };
  ASSERT_EQ(Publish({client.path(), "1", out.path() / "patch", false, sign}).status,
            PublishStatus::Published);
  EXPECT_EQ(CheckSignature(PublicText(), out.Read("patch/manifest.json"),
                           out.Read("patch/manifest.json.sig")),
            SignatureCheck::Valid);

  client.Write("b.pak", "b");
  ASSERT_EQ(Publish({client.path(), "2", out.path() / "patch", true}).status,
            PublishStatus::Published);
  EXPECT_FALSE(fs::exists(out.path() / "patch/manifest.json.sig"))
      << "the old signature does not fit the new manifest";
}

TEST_F(SigningTest, SigningThatFailsPublishesNothing) {
  client.Write("a.pak", "a");
  const DocumentSigner failing = [](std::string_view) { return std::string(); };
  const PublishResult result = Publish({client.path(), "1", out.path() / "patch", false, failing});
  EXPECT_EQ(result.status, PublishStatus::IoFailed);
  EXPECT_NE(result.error.find("cannot sign"), std::string::npos) << result.error;
  EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST_F(SigningTest, SignedLauncherReleaseNamesTheSignatureOfThePublishedExecutable) {
  ASSERT_EQ(MakeKeyPair(Key(), PublicKey()).status, PublishStatus::Published);
  const auto signer = Load(Key());
  const fs::path program = client.Write("Launcher.exe", std::string(200000, 'M'));
  const fs::path tree = out.path() / "patch";
  LauncherRelease release{program, "1.0.4", tree, "https://patch.example.com/patch/"};

  // Signing that fails publishes nothing, not even the executable.
  release.signExecutable = [](const fs::path&) { return std::string(); };
  EXPECT_EQ(PublishLauncher(release).status, PublishStatus::IoFailed);
  EXPECT_TRUE(fs::is_empty(tree));

  release.signExecutable = [&](const fs::path& file) { return signer->SignFile(file); };
  ASSERT_EQ(PublishLauncher(release).status, PublishStatus::Published);
  const LauncherVersionInfo info = ParseLauncherVersion(out.Read("patch/launcher_version.json"));
  EXPECT_EQ(
      CheckFileSignature(PublicText(), (tree / "Launcher_v1.0.4.exe").string(), info.signature),
      SignatureCheck::Valid);

  release.signExecutable = {};
  ASSERT_EQ(PublishLauncher(release).status, PublishStatus::Published);
  EXPECT_EQ(out.Read("patch/launcher_version.json").find("signature"), std::string::npos);
}

TEST_F(SigningTest, TheCommandMakesKeysAndSignsWithThem) {
  client.Write("a.pak", "a");
  const std::string keygen = "keygen " + Quoted(Key()) + " " + Quoted(PublicKey());
  EXPECT_EQ(RunTool(keygen), 0);
  EXPECT_EQ(RunTool(keygen), 2) << "existing key files are never replaced";
  EXPECT_EQ(RunTool("keygen " + Quoted(Key())), 1);

  const std::string publication = Quoted(client.path()) + " 1 " + Quoted(out.path() / "patch");
  EXPECT_EQ(RunTool("--sign " + Quoted(keys.path() / "absent.pem") + " " + publication), 2);
  EXPECT_EQ(RunTool("--sign " + Quoted(PublicKey()) + " " + publication), 2);
  EXPECT_TRUE(fs::is_empty(out.path()));
  EXPECT_EQ(RunTool(publication + " --sign"), 1);
  ASSERT_EQ(RunTool("--sign " + Quoted(Key()) + " " + publication), 0);
  EXPECT_EQ(CheckSignature(PublicText(), out.Read("patch/manifest.json"),
                           out.Read("patch/manifest.json.sig")),
            SignatureCheck::Valid);

  const fs::path program = client.Write("new/Launcher.exe", "MZ");
  const std::string release = Quoted(program) + " 1.0.4 " + Quoted(out.path() / "patch") +
                              " https://patch.example.com/patch/";
  EXPECT_EQ(RunTool("--launcher --sign " + Quoted(PublicKey()) + " " + release), 2);
  ASSERT_EQ(RunTool("--launcher --sign " + Quoted(Key()) + " " + release), 0);
  EXPECT_EQ(CheckSignature(PublicText(), "MZ",
                           ParseLauncherVersion(out.Read("patch/launcher_version.json")).signature),
            SignatureCheck::Valid);
}

}  // namespace
}  // namespace publish
