// Publishing a launcher into a patch tree: the document the launcher reads, refusals that leave
// the tree as it was, and a game published afterwards keeping the launcher's files.
#include "tools/publish/launcher_release.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "update/file_hash.h"
#include "update/version_documents.h"

namespace publish {
namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

constexpr char kUrl[] = "https://patch.example.com/patch/";

class LauncherReleaseTest : public testing::Test {
 protected:
  PublishResult Run(const std::string& version, const std::string& url = kUrl) {
    return PublishLauncher({program, version, tree.path() / "patch", url});
  }

  TempDir work{"launcher release ü"};
  TempDir tree{"launcher tree"};
  fs::path program = work.Write("Launcher.exe", "MZ the new launcher");
};

TEST_F(LauncherReleaseTest, WritesTheExecutableAndADocumentTheLauncherAccepts) {
  const PublishResult result = Run("1.0.4");
  ASSERT_EQ(result.status, PublishStatus::Published) << result.error;
  EXPECT_EQ(result.bytes, 19u);
  EXPECT_EQ(tree.Read("patch/Launcher_v1.0.4.exe"), "MZ the new launcher");
  const std::string hash = HashFile(tree.utf8() + "/patch/Launcher_v1.0.4.exe");
  EXPECT_EQ(tree.Read("patch/launcher_version.json"),
            "{\n"
            "  \"version\": \"1.0.4\",\n"
            "  \"launcher_url\": \"https://patch.example.com/patch/Launcher_v1.0.4.exe\",\n"
            "  \"hash\": \"" +
                hash +
                "\",\n"
                "  \"size\": 19\n"
                "}\n");
  const LauncherVersionInfo read = ParseLauncherVersion(tree.Read("patch/launcher_version.json"));
  EXPECT_EQ(read.hash, hash);
  EXPECT_EQ(read.size, 19u);

  // A game published afterwards replaces its own entries only.
  const fs::path client = work.Write("client/game.pak", "g");
  ASSERT_EQ(Publish({client.parent_path(), "2.0", tree.path() / "patch", true}).status,
            PublishStatus::Published);
  EXPECT_EQ(tree.Read("patch/Launcher_v1.0.4.exe"), "MZ the new launcher");
  EXPECT_EQ(ParseLauncherVersion(tree.Read("patch/launcher_version.json")).version, "1.0.4");
  EXPECT_EQ(tree.Read("patch/files/game.pak"), "g");
}

TEST_F(LauncherReleaseTest, RefusalsLeaveTheTreeAsItWas) {
  ASSERT_EQ(Run("1.0.4").status, PublishStatus::Published);
  const std::string before = tree.Read("patch/launcher_version.json");
  const struct {
    const char* version;
    const char* url;
    const char* says;
  } refused[] = {
      {"1.0.5/../x", kUrl, "may hold only ASCII letters"},
      {"v1.0.5", kUrl, "must begin with a digit"},
      {"1.0.5 beta", kUrl, "may hold only ASCII letters"},
      {"", kUrl, "may hold only ASCII letters"},
      {"1.0.5", "https://patch.example.com/patch", "ending in /"},
      {"1.0.5", "file:///srv/patch/", "http:// or https://"},
  };
  for (const auto& test : refused) {
    const PublishResult result = Run(test.version, test.url);
    EXPECT_EQ(result.status, PublishStatus::Refused) << test.version << " " << test.url;
    EXPECT_NE(result.error.find(test.says), std::string::npos) << result.error;
  }
  program = work.path() / "missing.exe";
  EXPECT_EQ(Run("1.0.5").status, PublishStatus::Refused);
  EXPECT_EQ(tree.Read("patch/launcher_version.json"), before);
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(tree.path() / "patch"))
    ++entries;
  EXPECT_EQ(entries, 2u) << "nothing half-written is left";
}

}  // namespace
}  // namespace publish
