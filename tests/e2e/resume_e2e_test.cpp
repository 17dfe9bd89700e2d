// A game file's download cut by a crash: the real Linux Launcher.exe, updating from the project's
// nginx over HTTPS, is killed with SIGKILL in the middle of a 200 MiB file. Started again, it asks
// only for the rest of that file (nginx's log shows the range), installs it whole and fetches no
// other file twice.
#include <signal.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <thread>

#include "tests/launcher/support/child_process.h"
#include "tests/launcher/support/desktop_leaks.h"
#include "tests/launcher/support/log_lines.h"
#include "tests/launcher/support/xvfb_display.h"
#include "tests/support/temp_dir.h"
#include "tests/support/web_server.h"
#include "tools/publish/publisher.h"
#include "update/file_hash.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::TempDir;
using namespace std::chrono_literals;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kBigSize = 200 * kMiB;
constexpr char kBig[] = "data/big.pak";
// nginx sends each answer at most this fast, so the whole big file takes about three seconds
// and the kill lands well inside it.
constexpr char kServerRate[] = "64m";
constexpr std::uint64_t kKillAfter = 48 * kMiB;  // bytes of the big file on disk

// Byte i of the big file: a pattern that differs from one MiB to the next.
void WriteBigFile(const fs::path& path) {
  std::ofstream out(path, std::ios::binary);
  std::string block(kMiB, '\0');
  for (std::uint64_t mib = 0; mib < kBigSize / kMiB; ++mib) {
    for (std::uint64_t i = 0; i < kMiB; ++i)
      block[i] = static_cast<char>((i * 31 + mib * 7) % 251);
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  if (!out) throw std::runtime_error("cannot write the big file");
}

std::uint64_t SizeOf(const fs::path& path) {
  std::error_code missing;
  const auto size = fs::file_size(path, missing);
  return missing ? 0 : size;
}

class ResumeEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    setenv("DISPLAY", display_.name().c_str(), 1);
    for (const char* name : {"a1.pak", "a2.pak", "z1.pak", "z2.pak"})
      client_.Write(name, std::string("version 1.1 of ") + name);
    fs::create_directories(client_.path() / "data");
    WriteBigFile(client_.path() / kBig);
    const auto published = publish::Publish({client_.path(), "1.1", patchTree_.path()});
    ASSERT_EQ(published.status, publish::PublishStatus::Published) << published.error;
    patchTree_.Write("launcher_version.json", "{\"version\":\"1.0.3\"}");

    fs::copy_file(VELMORA_E2E_HTTPS_LAUNCHER, install_.path() / "Launcher.exe");
    install_.Write("a1.pak", "version 1.0 of a1.pak");
    install_.Write("local_version.txt", "1.0");
    testing_support::WebServerOptions options;
    options.port = VELMORA_E2E_HTTPS_PORT;
    options.limitRate = kServerRate;
    server_.emplace(patchTree_.path(), options);
    log_.Start();
  }

  std::unique_ptr<ChildProcess> StartLauncher() {
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{(install_.path() / "Launcher.exe").string()},
        testing_support::LauncherEnvironment(display_.name(),
                                             {{"XDG_CONFIG_HOME", config_.utf8()}}),
        home_.utf8());
  }

  // Waits until one of the launcher's log lines holds one of `texts`; returns that line.
  std::string WaitForLine(const std::vector<std::string>& texts) {
    const auto deadline = std::chrono::steady_clock::now() + 180s;
    while (std::chrono::steady_clock::now() < deadline) {
      seen_ = testing_support::ShortLogLines(log_.Messages(seen_.size() + 1, 1s));
      for (const std::string& line : seen_)
        for (const std::string& text : texts)
          if (line.find(text) != std::string::npos) return line;
    }
    return "";
  }

  testing_support::XvfbDisplay display_{1920, 1080};
  TempDir client_{"velmora resume client"};
  TempDir patchTree_{"velmora resume patch"};
  TempDir install_{"velmora resume install"};
  TempDir config_{"velmora resume config"};
  TempDir home_{"velmora resume home"};
  testing_support::LogCapture log_;
  std::optional<testing_support::WebServer> server_;
  std::vector<std::string> seen_;
};

TEST_F(ResumeEndToEnd, AKilledLauncherResumesTheFileItWasDownloading) {
  const fs::path part = install_.path() / (std::string(kBig) + ".velmora-part");
  std::uint64_t kept = 0;
  {
    const auto launcher = StartLauncher();
    const auto deadline = std::chrono::steady_clock::now() + 180s;
    while (SizeOf(part) < kKillAfter && std::chrono::steady_clock::now() < deadline &&
           launcher->Running()) {
      std::this_thread::sleep_for(5ms);
    }
    ASSERT_GE(SizeOf(part), kKillAfter) << launcher->Output();
    ASSERT_EQ(kill(launcher->pid(), SIGKILL), 0);
    ASSERT_EQ(launcher->Wait(30s), 128 + SIGKILL);
    kept = SizeOf(part);
  }
  ASSERT_LT(kept, kBigSize) << "the kill came too late";

  const auto launcher = StartLauncher();
  const std::string end =
      WaitForLine({"Update complete! Ready to play (100%)", "E|UpdateManager::SetError"});
  ASSERT_NE(end.find("Update complete"), std::string::npos) << end << launcher->Output();
  EXPECT_THAT(seen_, testing::Contains(testing::HasSubstr("Resuming data/big.pak at byte " +
                                                          std::to_string(kept) + " of " +
                                                          std::to_string(kBigSize))));
  launcher->Stop();

  EXPECT_EQ(HashFile((install_.path() / kBig).string()),
            HashFile((client_.path() / kBig).string()));
  EXPECT_FALSE(fs::exists(part));
  EXPECT_EQ(install_.Read("local_version.txt"), "1.1");
  for (const char* name : {"a1.pak", "a2.pak", "z1.pak", "z2.pak"})
    EXPECT_EQ(install_.Read(name), std::string("version 1.1 of ") + name);

  // The big file: the killed request, then the rest from where the kept bytes end. Every other
  // file: one whole answer over both runs.
  std::map<std::string, std::vector<testing_support::ServedRequest>> files;
  for (const auto& request : server_->Requests())
    if (request.uri.rfind("/patch/files/", 0) == 0) files[request.uri].push_back(request);
  const auto big = files["/patch/files/data/big.pak"];
  ASSERT_EQ(big.size(), 2u);
  EXPECT_EQ(big[0].status, 200);
  EXPECT_EQ(big[0].range, "-");
  EXPECT_EQ(big[1].status, 206);
  EXPECT_EQ(big[1].range, "bytes=" + std::to_string(kept) + "-");
  EXPECT_EQ(big[1].bodyBytes, kBigSize - kept);
  files.erase("/patch/files/data/big.pak");
  EXPECT_EQ(files.size(), 4u);
  for (const auto& [uri, requests] : files) {
    ASSERT_EQ(requests.size(), 1u) << uri << " was fetched more than once";
    EXPECT_EQ(requests[0].status, 200) << uri;
  }
}

}  // namespace
