// Publishing real folders: the tree written, refusals and failures that leave nothing behind.
#include "tools/publish/publisher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/temp_dir.h"
#include "update/file_hash.h"
#include "update/manifest.h"

namespace publish {
namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

// The names in a folder, sorted, including hidden ones.
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class PublishTest : public testing::Test {
 protected:
  PublishResult Run(const std::string& version, bool replace = false,
                    const ProgressCallback& progress = {}) {
    return Publish({client.path(), version, out.path() / "patch", replace}, progress);
  }
  std::string Served(const std::string& name) const { return out.Read("patch/" + name); }

  TempDir client{"publish client"};
  TempDir out{"publish out"};
};

TEST_F(PublishTest, WritesTheExactDocumentsAndCopiesForASmallTree) {
  client.Write("b.txt", "bravo bravo\n");
  client.Write("sub dir/a.txt", "alpha\n");
  client.Write("Ärger/empty.dat", "");

  const PublishResult result = Run("1.4.0");
  ASSERT_EQ(result.status, PublishStatus::Published) << result.error;
  EXPECT_EQ(result.files, 3u);
  EXPECT_EQ(result.bytes, 18u);

  // Hashes as `xxhsum -H3` prints them; paths sorted byte by byte ("Ä" is 0xC3 0x84).
  EXPECT_EQ(Served("manifest.json"),
            "{\n"
            "  \"version\": \"1.4.0\",\n"
            "  \"files\": [\n"
            "    {\n"
            "      \"path\": \"b.txt\",\n"
            "      \"hash\": \"4fccb30c4f3a77e2\",\n"
            "      \"size\": 12\n"
            "    },\n"
            "    {\n"
            "      \"path\": \"sub dir/a.txt\",\n"
            "      \"hash\": \"3bddaa0189adc31f\",\n"
            "      \"size\": 6\n"
            "    },\n"
            "    {\n"
            "      \"path\": \"Ärger/empty.dat\",\n"
            "      \"hash\": \"2d06800538d394c2\",\n"
            "      \"size\": 0\n"
            "    }\n"
            "  ]\n"
            "}\n");
  const std::string manifestHash = HashFile(out.utf8() + "/patch/manifest.json");
  ASSERT_EQ(manifestHash.size(), 16u);
  EXPECT_EQ(Served("version.json"),
            "{\n  \"version\": \"1.4.0\",\n  \"manifest_hash\": \"" + manifestHash + "\"\n}\n");
  EXPECT_EQ(Served("files/sub dir/a.txt"), "alpha\n");
  EXPECT_EQ(Served("files/Ärger/empty.dat"), "");
  EXPECT_TRUE(fs::exists(out.path() / fs::u8path("patch/files/Ärger/empty.dat")));
  EXPECT_EQ(Names(out.path()), std::vector<std::string>{"patch"});
}

TEST_F(PublishTest, TheLaunchersParserReadsBackEveryFileWithItsHash) {
  for (int i = 0; i < 40; ++i)
    client.Write("d" + std::to_string(i % 4) + "/f" + std::to_string(i), std::string(i * 97, 'x'));
  ASSERT_EQ(Run("7").status, PublishStatus::Published);

  std::vector<ManifestEntry> entries;
  std::string version;
  manifest::Parse(Served("manifest.json"), entries, version);
  EXPECT_EQ(version, "7");
  ASSERT_EQ(entries.size(), 40u);
  for (const auto& entry : entries) {
    const std::string source = client.utf8() + "/" + entry.path;
    EXPECT_EQ(entry.hash, HashFile(source)) << entry.path;
    EXPECT_EQ(static_cast<std::uintmax_t>(entry.size), fs::file_size(fs::u8path(source)));
    EXPECT_EQ(HashFile(out.utf8() + "/patch/files/" + entry.path), entry.hash);
  }
  EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end(),
                             [](const auto& a, const auto& b) { return a.path < b.path; }));
}

TEST_F(PublishTest, ProgressCountsUpToTheTotals) {
  client.Write("a", std::string(1000, 'a'));
  client.Write("b/c", std::string(24, 'c'));
  std::vector<PublishProgress> seen;
  ASSERT_EQ(Run("1", false, [&](const PublishProgress& p) { seen.push_back(p); }).status,
            PublishStatus::Published);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].filesDone, 1u);
  EXPECT_EQ(seen[1].filesDone, 2u);
  EXPECT_EQ(seen[1].filesTotal, 2u);
  EXPECT_EQ(seen[1].bytesDone, 1024u);
  EXPECT_EQ(seen[1].bytesTotal, 1024u);
}

TEST_F(PublishTest, EmptyClientPublishesAnEmptyManifest) {
  ASSERT_EQ(Run("0.1").status, PublishStatus::Published);
  EXPECT_EQ(Served("manifest.json"), "{\n  \"version\": \"0.1\",\n  \"files\": []\n}\n");
}

TEST_F(PublishTest, RefusesBadInputWithoutWritingAnything) {
  client.Write("a.pak", "a");
  EXPECT_EQ(Run("").status, PublishStatus::Refused);
  EXPECT_EQ(Run("1\n").status, PublishStatus::Refused);

  const PublishResult missing = Publish({client.path() / "nope", "1", out.path() / "patch"});
  EXPECT_EQ(missing.status, PublishStatus::Refused);
  EXPECT_NE(missing.error.find("nope"), std::string::npos) << missing.error;

  const PublishResult notFolder = Publish({client.path() / "a.pak", "1", out.path() / "patch"});
  EXPECT_EQ(notFolder.status, PublishStatus::Refused);

  EXPECT_EQ(Publish({client.path(), "1", client.path() / "patch"}).status, PublishStatus::Refused);
  EXPECT_EQ(Publish({client.path(), "1", client.path()}).status, PublishStatus::Refused);

  EXPECT_TRUE(Names(out.path()).empty());
}

TEST_F(PublishTest, AnExistingTreeIsReplacedOnlyWhenAskedAndKeepsTheLaunchersFiles) {
  client.Write("old.pak", "old");
  client.Write("kept.pak", "kept");
  ASSERT_EQ(Run("1").status, PublishStatus::Published);
  out.Write("patch/launcher_version.json", "{\"version\":\"1.0.4\"}");

  fs::remove(client.path() / "old.pak");
  client.Write("new.pak", "new");
  const PublishResult refused = Run("2");
  EXPECT_EQ(refused.status, PublishStatus::Refused);
  EXPECT_NE(Served("version.json").find("\"1\""), std::string::npos);

  ASSERT_EQ(Run("2", true).status, PublishStatus::Published);
  EXPECT_NE(Served("version.json").find("\"2\""), std::string::npos);
  EXPECT_EQ(Served("files/new.pak"), "new");
  EXPECT_FALSE(fs::exists(out.path() / "patch/files/old.pak"));
  EXPECT_EQ(Served("launcher_version.json"), "{\"version\":\"1.0.4\"}");
  EXPECT_EQ(Names(out.path()), std::vector<std::string>{"patch"});
}

TEST_F(PublishTest, AnEmptyOutputFolderIsFilled) {
  fs::create_directories(out.path() / "patch");
  client.Write("a", "a");
  ASSERT_EQ(Run("1").status, PublishStatus::Published);
  EXPECT_EQ(Served("files/a"), "a");
}

TEST_F(PublishTest, AFileThatCannotBeReadFailsAndLeavesTheOldTreeAsItWas) {
  client.Write("a.pak", "a");
  client.Write("b.pak", "b");
  ASSERT_EQ(Run("1").status, PublishStatus::Published);
  const std::string oldManifest = Served("manifest.json");

  // b.pak vanishes between the listing and its copy.
  const PublishResult result = Run("2", true, [&](const PublishProgress& progress) {
    if (progress.filesDone == 1) fs::remove(client.path() / "b.pak");
  });
  EXPECT_EQ(result.status, PublishStatus::IoFailed);
  EXPECT_NE(result.error.find("b.pak"), std::string::npos) << result.error;
  EXPECT_EQ(Served("manifest.json"), oldManifest);
  EXPECT_EQ(Names(out.path()), std::vector<std::string>{"patch"});
}

}  // namespace
}  // namespace publish
