// The patch server client against a real server on loopback: bodies into memory and onto disk,
// error statuses, an unreachable server, cancellation and what reaches the server.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/engine_test_support.h"
#include "tests/update/loopback_server.h"
#include "update/update_manager.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// What the system reports for a port nobody listens on: WinINet's ERROR_INTERNET_CANNOT_CONNECT,
// libcurl's CURLE_COULDNT_CONNECT.
#ifdef _WIN32
constexpr char kRefusedConnectionCode[] = "12029";
#else
constexpr char kRefusedConnectionCode[] = "7";
#endif

class Download : public ::testing::Test {
 protected:
  std::vector<std::string> ErrorLines() {
    std::vector<std::string> errors;
    for (const std::string& line : LoggedLines(viewer))
      if (line.rfind("LAUNCHER|E|", 0) == 0) errors.push_back(line);
    return errors;
  }
  // Only the temporary download files a transfer could leave behind.
  std::size_t LeftoverTemporaryFiles() const {
    std::size_t count = 0;
    for (const auto& item : fs::directory_iterator(dir.path()))
      count += item.path().extension() == ".velmora-part";
    return count;
  }

  LoopbackServer server;
  TempDir dir{"velmora download ü"};
  UpdateManager manager{server.TreeUrl(), dir.utf8()};
  LogCapture viewer;
  void SetUp() override { viewer.Start(); }
};

}  // namespace

TEST_F(Download, BodyIntoMemoryAndString) {
  std::vector<std::uint8_t> body{1, 2, 3};
  ASSERT_TRUE(manager.DownloadToMemory(server.Url("bytes/100000"), body));
  const std::string expected = Pattern(100000);
  EXPECT_EQ(std::string(body.begin(), body.end()), expected);
  server.Publish("version.json", R"({"version":"1.0"})");
  EXPECT_EQ(manager.DownloadToString(server.TreeUrl() + "version.json"), R"({"version":"1.0"})");
  EXPECT_TRUE(ErrorLines().empty());
}

TEST_F(Download, EmptyBodyIsAFailedDocumentButAnEmptyFile) {
  std::vector<std::uint8_t> body{9};
  EXPECT_FALSE(manager.DownloadToMemory(server.Url("empty"), body));
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(manager.DownloadToString(server.Url("empty")), "");

  dir.Write("target.bin", "old content");
  ASSERT_TRUE(manager.DownloadToFile(server.Url("empty"), dir.utf8() + "/target.bin"));
  EXPECT_EQ(dir.Read("target.bin"), "");
  EXPECT_EQ(LeftoverTemporaryFiles(), 0u);
}

TEST_F(Download, ErrorStatusesFailWithALineNamingUrlAndStatus) {
  dir.Write("target.bin", "old content");
  for (const int status : {404, 500}) {
    const std::string url = server.Url("status/" + std::to_string(status));
    EXPECT_EQ(manager.DownloadToString(url), "") << status;
    EXPECT_FALSE(manager.DownloadToFile(url, dir.utf8() + "/target.bin")) << status;
  }
  EXPECT_EQ(dir.Read("target.bin"), "old content");
  EXPECT_EQ(LeftoverTemporaryFiles(), 0u);
  const auto errors = ErrorLines();
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_NE(errors[0].find("|UpdateManager::DownloadToMemory["), std::string::npos);
  EXPECT_NE(errors[0].find("Request failed for " + server.Url("status/404") + ": HTTP status 404"),
            std::string::npos);
  EXPECT_NE(errors[3].find("Request failed for " + server.Url("status/500") + ": HTTP status 500"),
            std::string::npos);
}

TEST_F(Download, UnreachableServerLogsOneLineForDocumentsAndNoneForFiles) {
  const std::string url = UnusedPortUrl("version.json");
  EXPECT_EQ(manager.DownloadToString(url), "");
  dir.Write("target.bin", "old content");
  EXPECT_FALSE(manager.DownloadToFile(url, dir.utf8() + "/target.bin"));
  EXPECT_EQ(dir.Read("target.bin"), "old content");

  const auto errors = ErrorLines();
  ASSERT_EQ(errors.size(), 1u);
  const std::regex line(R"(LAUNCHER\|E\|UpdateManager::DownloadToMemory\[\d+\]: )"
                        R"(InternetOpenUrl failed for (.*): (\d+))");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(errors[0], match, line)) << errors[0];
  EXPECT_EQ(match[1], url);
  EXPECT_EQ(match[2], kRefusedConnectionCode);
}

TEST_F(Download, FileArrivesWholeInNestedNonAsciiFolders) {
  const std::string target = dir.utf8() + "/Spiel Daten/ß.pak";
  fs::create_directories(fs::u8path(dir.utf8() + "/Spiel Daten"));
  ASSERT_TRUE(manager.DownloadToFile(server.Url("bytes/1000003"), target));
  EXPECT_EQ(dir.Read("Spiel Daten/ß.pak"), Pattern(1000003));
  EXPECT_FALSE(manager.DownloadToFile(server.Url("bytes/5"), dir.utf8() + "/no folder/x.bin"));
}

TEST_F(Download, FolderInPlaceOfTheTargetFailsAndLeavesNothingBehind) {
  fs::create_directories(dir.path() / "occupied");
  EXPECT_FALSE(manager.DownloadToFile(server.Url("bytes/10"), dir.utf8() + "/occupied"));
  EXPECT_TRUE(fs::is_directory(dir.path() / "occupied"));
  EXPECT_EQ(LeftoverTemporaryFiles(), 0u);
}

TEST_F(Download, CancelStopsAThrottledTransferAndKeepsTheOldFile) {
  dir.Write("big.bin", "the installed file");
  std::thread canceller([this] {
    // Let the transfer get going, then cancel it.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(dir.path() / "big.bin.velmora-part") &&
           std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    manager.CancelUpdate();
  });
  const auto start = std::chrono::steady_clock::now();
  // 64 MiB at 8 KiB per 5 ms would take about 40 s.
  const bool result = manager.DownloadToFile(server.Url("slow/67108864"), dir.utf8() + "/big.bin");
  const auto elapsed = std::chrono::steady_clock::now() - start;
  canceller.join();
  EXPECT_FALSE(result);
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  EXPECT_EQ(dir.Read("big.bin"), "the installed file");
  EXPECT_EQ(LeftoverTemporaryFiles(), 0u);
}

TEST_F(Download, ARaisedFlagStopsAfterTheFirstPiece) {
  manager.CancelUpdate();
  std::vector<std::uint8_t> body;
  // The flag is also seen while the answer is awaited: on a slow or busy machine the transfer may
  // end before its first piece, and then nothing is kept. Never more than one piece arrives.
  const bool kept = manager.DownloadToMemory(server.Url("bytes/1000000"), body);
  EXPECT_EQ(kept, !body.empty()) << "a document keeps what arrived, and only then succeeds";
  EXPECT_LE(body.size(), 8192u);
  EXPECT_FALSE(manager.DownloadToFile(server.Url("bytes/1000000"), dir.utf8() + "/f.bin"));
  EXPECT_FALSE(fs::exists(dir.path() / "f.bin"));
}

TEST_F(Download, RequestsReachTheServerEscapedWithTheLauncherAgent) {
  EXPECT_EQ(manager.DownloadToString(server.Url("echo/a b/ü.pak?x=1")),
            "/echo/a%20b/%C3%BC.pak?x=1");
  const std::string headers = manager.DownloadToString(server.Url("headers"));
  EXPECT_EQ(headers.substr(0, headers.find('\n')), "Velmora Launcher");
  server.Publish("Spiel Daten/ß #1.pak", "payload");
  dir.Write("placeholder", "");
  EXPECT_TRUE(manager.DownloadToFile(server.TreeUrl() + "Spiel%20Daten/%C3%9F%20%231.pak",
                                     dir.utf8() + "/got.pak"));
  EXPECT_EQ(dir.Read("got.pak"), "payload");
}

TEST_F(Download, AChangedServerFileIsFetchedAnew) {
  server.Publish("version.json", R"({"version":"1"})");
  EXPECT_EQ(manager.DownloadToString(server.TreeUrl() + "version.json"), R"({"version":"1"})");
  server.Publish("version.json", R"({"version":"2"})");
  EXPECT_EQ(manager.DownloadToString(server.TreeUrl() + "version.json"), R"({"version":"2"})");
}
