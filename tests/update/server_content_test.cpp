// What the patch server sends that the launcher must not take at its word: version texts with
// control characters (they forge log lines and end up in local_version.txt), a manifest listing
// one file twice, and a file body longer than the manifest says.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/engine_test_support.h"
#include "tests/update/loopback_server.h"
#include "tests/update/manager_access.h"
#include "update/update_manager.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class ServerContent : public ::testing::Test {
 protected:
  void SetUp() override { viewer.Start(); }

  UpdateStatus Run(const std::string& baseUrl, void (UpdateManager::*start)()) {
    UpdateManager manager(baseUrl, dir.utf8());
    (manager.*start)();
    UpdateManagerTestAccess::JoinWorker(manager);
    return manager.CopyStatus();
  }

  LoopbackServer server;
  TempDir dir{"velmora server content"};
  LogCapture viewer;
};

std::string Entry(const std::string& path, const std::string& content, std::size_t size) {
  return R"({"path":")" + path + R"(","hash":")" + HashOf(content) + R"(","size":)" +
         std::to_string(size) + "}";
}

TEST_F(ServerContent, VersionTextsWithControlCharactersAreRefused) {
  const struct {
    const char* document;
    const char* text;
    const char* errorDetail;
  } cases[] = {
      {"version.json", R"({"version":"2.0\r\nLAUNCHER|I|forged line"})",
       R"(Failed to parse version info: control character in "version")"},
      {"version.json", R"({"version":"2.0\u001b[2J"})",
       R"(Failed to parse version info: control character in "version")"},
      {"version.json", R"({"version":"2.0","manifest_url":"http://x/\nforged"})",
       R"(Failed to parse version info: control character in "manifest_url")"},
      {"version.json", R"({"version":"2.0\u007f"})",
       R"(Failed to parse version info: control character in "version")"},
      {"launcher_version.json", R"({"version":"9.0\nLAUNCHER|I|forged line"})", ""},
  };
  for (const auto& item : cases) {
    server.Publish(item.document, item.text);
    const bool launcher = std::string(item.document) == "launcher_version.json";
    const UpdateStatus status = Run(server.TreeUrl(), launcher ? &UpdateManager::CheckLauncherUpdate
                                                               : &UpdateManager::CheckUpdate);
    EXPECT_EQ(status.errorDetail, item.errorDetail) << item.text;
    if (launcher) {
      EXPECT_EQ(status.state, UpdateState::UpToDate) << item.text;
    }
    EXPECT_EQ(status.latestVersion, "") << item.text;
  }
  const auto lines = LoggedLines(viewer);
  EXPECT_TRUE(AnyLineHas(lines, R"(]: Failed to parse launcher version: control character)"));
  for (const std::string& line : lines)
    EXPECT_NE(line.rfind("LAUNCHER|I|forged", 0), 0u) << line;
  EXPECT_FALSE(fs::exists(dir.path() / "local_version.txt"));
}

TEST_F(ServerContent, AManifestListingAFileTwiceIsRefused) {
  const struct {
    std::vector<std::string> paths;
    const char* refused;  // the path the error line names, or "" when the manifest is fine
  } cases[] = {
      {{"a.pak", "b.pak", "a.pak"}, "a.pak"},
      {{"data/a.pak", "DATA/A.PAK"}, "DATA/A.PAK"},
      {{"maps/Cave.map", "maps/cave.map"}, "maps/cave.map"},
      {{"a.pak", "a.pak.bak", "b/a.pak"}, ""},
  };
  server.Publish("version.json", R"({"version":"2.0"})");
  for (const auto& item : cases) {
    std::string manifest = R"({"files":[)";
    for (std::size_t i = 0; i < item.paths.size(); ++i) {
      manifest += (i ? "," : "") + Entry(item.paths[i], "content " + std::to_string(i), 9);
      server.Publish("files/" + item.paths[i], "content " + std::to_string(i));
    }
    server.Publish("manifest.json", manifest + "]}");
    for (auto start : {&UpdateManager::CheckUpdate, &UpdateManager::FixClient}) {
      fs::remove_all(dir.path());
      fs::create_directories(dir.path());
      const UpdateStatus status = Run(server.TreeUrl(), start);
      const std::string refused = item.refused;
      EXPECT_EQ(status.errorDetail, refused.empty() ? "" : "Failed to parse manifest") << refused;
      if (!refused.empty()) {
        EXPECT_TRUE(AnyLineHas(LoggedLines(viewer),
                               "]: LoadManifest error: duplicate path in manifest: " + refused));
        EXPECT_TRUE(fs::is_empty(dir.path())) << refused;
      }
    }
  }
}

TEST_F(ServerContent, AFileBodyIsNeverLongerThanItsManifestSize) {
  const std::string content = "the file as published";
  const struct {
    const char* name;
    std::string baseUrl;
    std::string served;
    std::size_t size;  // in the manifest; 0 gives none
    bool installed;
  } cases[] = {
      {"a longer body", server.TreeUrl(), content, 8, false},
      {"an endless body", server.EndlessFilesUrl(), "", 1 << 20, false},
      {"no size given", server.TreeUrl(), content, 0, true},
      {"the exact size", server.TreeUrl(), content, content.size(), true},
  };
  server.Publish("version.json", R"({"version":"2.0"})");
  for (const auto& item : cases) {
    for (auto start : {&UpdateManager::CheckUpdate, &UpdateManager::FixClient}) {
      server.Publish("manifest.json",
                     R"({"files":[)" + Entry("data/a.pak", content, item.size) + "]}");
      server.Publish("files/data/a.pak", item.served);
      dir.Write("data/a.pak", "the old file");
      dir.Write("local_version.txt", "1.0");
      const UpdateStatus status = Run(item.baseUrl, start);
      if (item.installed) {
        EXPECT_EQ(status.state, UpdateState::Complete) << item.name << status.errorDetail;
        EXPECT_EQ(dir.Read("data/a.pak"), content) << item.name;
      } else {
        EXPECT_EQ(status.errorDetail, "Failed to download: data/a.pak") << item.name;
        EXPECT_EQ(dir.Read("data/a.pak"), "the old file") << item.name;
        EXPECT_TRUE(AnyLineHas(LoggedLines(viewer),
                               "]: data/a.pak: the server sent more than its manifest size of " +
                                   std::to_string(item.size) + " bytes"))
            << item.name;
      }
      EXPECT_FALSE(fs::exists(dir.path() / "data/a.pak.velmora-part")) << item.name;
    }
  }
}

}  // namespace
