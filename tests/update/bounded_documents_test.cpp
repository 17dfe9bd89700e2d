// Documents the server cannot make the launcher swallow: a body that never ends stops at the
// document's limit with an error line, in little memory, and each worker reports it as the
// failed download of that document; nesting deeper than any document needs is refused.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <filesystem>
#include <functional>

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/engine_test_support.h"
#include "tests/update/loopback_server.h"
#include "tests/update/manager_access.h"
#include "update/document_checks.h"
#include "update/update_manager.h"
#include "update/version_documents.h"

using namespace testing_support;

namespace {

// The most memory the process has held at once so far.
std::uint64_t PeakMemory() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PeakWorkingSetSize;
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
#endif
}

constexpr std::uint64_t kMiB = 1024 * 1024;

class BoundedDocuments : public ::testing::Test {
 protected:
  void SetUp() override { viewer.Start(); }

  std::vector<std::string> ErrorLines() {
    std::vector<std::string> errors;
    for (const std::string& line : LoggedLines(viewer))
      if (line.rfind("LAUNCHER|E|", 0) == 0) errors.push_back(line);
    return errors;
  }

  LoopbackServer server;
  TempDir dir;
  LogCapture viewer;
};

TEST_F(BoundedDocuments, AnEndlessDocumentStopsAtItsLimitInLittleMemory) {
  UpdateManager manager(server.TreeUrl(), dir.utf8());
  const std::string url = server.Url("endless/version.json");
  const std::uint64_t before = PeakMemory();
  EXPECT_EQ(manager.DownloadToString(url), "");
  std::vector<std::uint8_t> bytes;
  EXPECT_FALSE(manager.DownloadToMemory(url, bytes, 100000));
  EXPECT_TRUE(bytes.empty());
  EXPECT_LT(PeakMemory() - before, 48 * kMiB);

  const auto errors = ErrorLines();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[0].find("|UpdateManager::DownloadToMemory["), std::string::npos);
  EXPECT_NE(errors[0].find("]: Document too large: " + url + " is more than 1048576 bytes"),
            std::string::npos)
      << errors[0];
  EXPECT_NE(errors[1].find("]: Document too large: " + url + " is more than 100000 bytes"),
            std::string::npos)
      << errors[1];
}

TEST_F(BoundedDocuments, EachWorkerReportsAnEndlessDocumentAsItsFailedDownload) {
  constexpr std::size_t kSmallManifestLimit = 3 * kMiB;
  const struct {
    const char* name;
    std::string baseUrl;
    std::function<void(UpdateManager&)> start;
    const char* errorDetail;  // "" when the run ends without an error
    const char* message;
  } cases[] = {
      {"version.json", server.Url("endless/"), &UpdateManager::CheckUpdate,
       "Failed to check version: Cannot connect to update server", "Update failed"},
      {"manifest.json of the update", server.TreeUrl(), &UpdateManager::CheckUpdate,
       "Failed to download manifest", "Update failed"},
      {"manifest.json of the repair", server.Url("endless/"), &UpdateManager::FixClient,
       "Failed to download manifest for verification", "Update failed"},
      {"launcher_version.json", server.Url("endless/"), &UpdateManager::CheckLauncherUpdate, "",
       "Launcher is up to date"},
  };
  server.Publish("version.json", R"({"version":"2.0","manifest_url":")" +
                                     server.Url("endless/manifest.json") + R"("})");
  const std::uint64_t before = PeakMemory();
  for (const auto& item : cases) {
    UpdateManager manager(item.baseUrl, dir.utf8());
    UpdateManagerTestAccess::SetManifestLimit(manager, kSmallManifestLimit);
    item.start(manager);
    UpdateManagerTestAccess::JoinWorker(manager);
    const UpdateStatus status = manager.CopyStatus();
    EXPECT_EQ(status.errorDetail, item.errorDetail) << item.name;
    EXPECT_EQ(status.message, item.message) << item.name;
    EXPECT_TRUE(AnyLineHas(LoggedLines(viewer), "]: Document too large: ")) << item.name;
  }
  EXPECT_LT(PeakMemory() - before, 128 * kMiB);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_TRUE(AnyLineHas(LoggedLines(viewer), " is more than 3145728 bytes"));
}

TEST_F(BoundedDocuments, AManifestLargerThanAVersionDocumentIsRead) {
  std::vector<PublishedFile> files;
  const std::string folder = "data/" + std::string(240, 'f') + "/";
  for (int i = 0; i < 4000; ++i)
    files.push_back({folder + std::to_string(i), ""});
  const std::string manifest = ManifestFor(files);
  ASSERT_GT(manifest.size(), kVersionDocumentLimit);
  server.Publish("manifest.json", manifest);
  UpdateManager manager(server.TreeUrl(), dir.utf8());
  manager.FixClient();
  UpdateManagerTestAccess::JoinWorker(manager);
  EXPECT_TRUE(AnyLineHas(LoggedLines(viewer), "]: Need to fix 4000 files"));
}

TEST_F(BoundedDocuments, DeepNestingIsRefusedBeforeParsing) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  const struct {
    const char* name;
    const char* document;
    std::string text;
    const char* errorDetail;
  } cases[] = {
      {"version.json", "version.json", deep,
       "Failed to parse version info: document nested deeper than 64 levels"},
      {"manifest.json", "manifest.json", R"({"files":)" + deep + "}", "Failed to parse manifest"},
  };
  for (const auto& item : cases) {
    server.Publish("version.json", R"({"version":"2.0"})");
    server.Publish(item.document, item.text);
    UpdateManager manager(server.TreeUrl(), dir.utf8());
    manager.CheckUpdate();
    UpdateManagerTestAccess::JoinWorker(manager);
    EXPECT_EQ(manager.CopyStatus().errorDetail, item.errorDetail) << item.name;
  }
  EXPECT_TRUE(AnyLineHas(LoggedLines(viewer),
                         "]: LoadManifest error: document nested deeper than 64 levels"));
}

TEST(JsonNesting, CountsOnlyBracketsOutsideStrings) {
  const auto nested = [](std::size_t depth, const std::string& inside = "") {
    return std::string(depth, '[') + inside + std::string(depth, ']');
  };
  const struct {
    std::string text;
    bool refused;
  } cases[] = {
      {nested(64), false},
      {nested(65), true},
      {nested(64, R"("[[[[{{{{")"), false},
      {nested(64, R"("\"[")"), false},
      {nested(63, R"({"a":[]})"), true},
      {R"({"a":"\\"})" + nested(65), true},
      {std::string(1000, ']') + nested(64), false},
      {"", false},
  };
  for (const auto& item : cases) {
    bool refused = false;
    try {
      CheckJsonNesting(item.text);
    } catch (const std::runtime_error& error) {
      refused = true;
      EXPECT_STREQ(error.what(), "document nested deeper than 64 levels");
    }
    EXPECT_EQ(refused, item.refused) << item.text.substr(0, 80);
  }
  EXPECT_THROW(ParseLauncherVersion(nested(100000)), std::runtime_error);
}

}  // namespace
