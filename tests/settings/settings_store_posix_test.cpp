// The Linux settings file: its syntax, what survives a save, its permissions, and that a save
// never leaves a damaged file behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/settings_store.h"
#include "settings/settings_api.h"
#include "tests/settings/log_entries.h"
#include "tests/settings/store_sandbox.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::SettingsKey;
using settings_testing::StoreSandbox;

constexpr char kWindowedRequest[] =
    R"(["{\"resolution\":\"1280x720\",\"antiAliasing\":2,\"windowed\":true,\"vsync\":true}"])";

fs::path SettingsFolder() {
  return fs::path(std::getenv("XDG_CONFIG_HOME")) / "Velmora";
}

fs::path SettingsFile() {
  return SettingsFolder() / "Launcher.reg";
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

unsigned Mode(const fs::path& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_mode & 0777;
}

TEST(SettingsFile, RoundTripInRegeditSyntax) {
  StoreSandbox store;
  {
    SettingsKey key = SettingsKey::CreateForWriting();
    ASSERT_TRUE(key.IsOpen());
    EXPECT_TRUE(key.WriteText("Resolution", "a\"b\\c"));
    EXPECT_TRUE(key.WriteNumber("Windowed", 1));
    EXPECT_TRUE(key.WriteNumber("AntiAliasing", -16));
    EXPECT_TRUE(key.Close());
  }
  EXPECT_EQ(ReadFile(SettingsFile()),
            "[HKEY_CURRENT_USER\\SOFTWARE\\Velmora\\Launcher]\n"
            "\"Resolution\"=\"a\\\"b\\\\c\"\n"
            "\"Windowed\"=dword:00000001\n"
            "\"AntiAliasing\"=dword:fffffff0\n");
  {
    SettingsKey key = SettingsKey::CreateForWriting();
    EXPECT_TRUE(key.WriteNumber("Windowed", 0));  // replaced where it stands
  }
  const SettingsKey key = SettingsKey::OpenForReading();
  ASSERT_TRUE(key.IsOpen());
  EXPECT_EQ(key.ReadText("Resolution"), "a\"b\\c");
  EXPECT_EQ(key.ReadNumber("Windowed"), 0);
  EXPECT_EQ(key.ReadNumber("AntiAliasing"), -16);
  EXPECT_EQ(key.ReadNumber("Resolution"), std::nullopt);  // a text is no number
  EXPECT_EQ(key.ReadText("Windowed"), std::nullopt);
  EXPECT_EQ(key.ReadText("Version"), std::nullopt);
}

TEST(SettingsFile, MalformedLinesReadAsAbsentAndSurviveASave) {
  StoreSandbox store;
  WriteFile(SettingsFile(),
            "; kept by hand\n"
            "\"Windowed\"=dword:5\n"
            "\"VSync\"=dword:0000000g\n"
            "\"Resolution\"=\"1280x720\n"
            "\"AntiAliasing\"=dword:00000010\r\n"
            "garbage\n"
            "\"Version\"=\"3.1\"\n"
            "\"Resolution\"=hex(1):31,00\n");
  EXPECT_EQ(API_GetConfig("[]"),
            R"({"resolution":"1920x1080","windowed":false,"vsync":true,"antiAliasing":16,)"
            R"("version":"3.1"})");

  EXPECT_EQ(API_SaveConfig(kWindowedRequest), "true");
  // Each value now stands once, where it was first defined; other lines are left as they were.
  EXPECT_EQ(ReadFile(SettingsFile()),
            "; kept by hand\n"
            "\"Windowed\"=dword:00000001\n"
            "\"VSync\"=dword:00000001\n"
            "\"Resolution\"=\"1280x720\"\n"
            "\"AntiAliasing\"=dword:00000002\n"
            "garbage\n"
            "\"Version\"=\"3.1\"\n");
}

TEST(SettingsFile, IsPrivateAndReplacedWholeNeverWrittenInPlace) {
  StoreSandbox store;
  ASSERT_EQ(API_SaveConfig(kWindowedRequest), "true");
  EXPECT_EQ(Mode(SettingsFolder()), 0700u);
  EXPECT_EQ(Mode(SettingsFile()), 0600u);

  chmod(SettingsFile().c_str(), 0644);
  const std::string before = ReadFile(SettingsFile());
  const fs::path oldFile = SettingsFolder() / "old copy";
  fs::create_hard_link(SettingsFile(), oldFile);
  ASSERT_EQ(API_SaveConfig(R"(["{\"resolution\":\"800x600\",\"windowed\":true}"])"), "true");

  EXPECT_EQ(ReadFile(oldFile), before);  // the previous file was renamed over, not rewritten
  EXPECT_NE(ReadFile(SettingsFile()), before);
  EXPECT_EQ(Mode(SettingsFile()), 0600u);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(SettingsFolder()))
    ++files;
  EXPECT_EQ(files, 2u) << "a temporary file was left behind";
}

TEST(SettingsFile, LeftoverTemporaryFileIsIgnored) {
  StoreSandbox store;
  WriteFile(SettingsFile(), "\"Version\"=\"2.0\"\n\"Resolution\"=\"1600x900\"\n");
  // What a save interrupted before its rename leaves: a complete or partial file beside it.
  const fs::path leftover = SettingsFolder() / "Launcher.reg.k3Xq9a";
  WriteFile(leftover, "\"Resolution\"=\"640x480\"\n\"Version\"=\"9\n");
  EXPECT_EQ(API_GetConfig("[]"),
            R"({"resolution":"1600x900","windowed":false,"vsync":true,"antiAliasing":4,)"
            R"("version":"2.0"})");
  EXPECT_EQ(API_SaveConfig(kWindowedRequest), "true");
  EXPECT_EQ(store.Exported("Version"), "\"2.0\"");
  EXPECT_EQ(store.Exported("Resolution"), "\"1280x720\"");
}

TEST(SettingsFile, ATemporaryFileLeftByACrashIsRemovedByTheNextReadOrSave) {
  for (const bool save : {false, true}) {
    StoreSandbox store;
    WriteFile(SettingsFile(), "\"Resolution\"=\"1600x900\"\n");
    const fs::path leftover = SettingsFolder() / "Launcher.reg.velmora-part";
    WriteFile(leftover, "\"Resolution\"=\"640x");
    if (save) {
      EXPECT_EQ(API_SaveConfig(kWindowedRequest), "true");
      EXPECT_EQ(store.Exported("Resolution"), "\"1280x720\"");
    } else {
      EXPECT_EQ(SettingsKey::OpenForReading().ReadText("Resolution"), "1600x900");
    }
    EXPECT_FALSE(fs::exists(leftover)) << (save ? "save" : "read");
  }
}

TEST(SettingsFile, KilledSavesNeverLoseOrTearTheStoredValues) {
  StoreSandbox store;
  store.PutText("Version", "keep me");
  for (int round = 0; round < 12; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Saves pairs that belong together until it is killed somewhere in the middle.
      for (int i = 0;; ++i) {
        SettingsKey key = SettingsKey::CreateForWriting();
        key.WriteText("Resolution", i % 2 ? "1111x111" : "2222x222");
        key.WriteNumber("Windowed", i % 2);
        key.Close();
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3 + round * 4));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    const SettingsKey key = SettingsKey::OpenForReading();
    ASSERT_TRUE(key.IsOpen()) << "round " << round;
    EXPECT_EQ(key.ReadText("Version"), "keep me") << "round " << round;
    const auto resolution = key.ReadText("Resolution");
    const auto windowed = key.ReadNumber("Windowed");
    if (resolution || windowed) {
      EXPECT_EQ(resolution, *windowed ? "1111x111" : "2222x222") << "round " << round;
    }
  }
}

TEST(SettingsFile, UnreadableFileIsNeverReplaced) {
  StoreSandbox store;
  fs::create_directories(SettingsFile());  // something that is not a file where the file belongs
  testing_support::LogCapture viewer;
  viewer.Start();
  EXPECT_EQ(API_SaveConfig(kWindowedRequest), "false");
  EXPECT_EQ(settings_testing::LogEntries(viewer, 4).back(),
            "E API_SaveConfig: Failed to create registry key");
  EXPECT_TRUE(fs::is_directory(SettingsFile()));
}

TEST(SettingsFile, APipeInPlaceOfTheFileIsNeverOpenedNorReplaced) {
  StoreSandbox store;
  fs::create_directories(SettingsFolder());
  ASSERT_EQ(mkfifo(SettingsFile().c_str(), 0600), 0);
  // Should the store wait in the pipe, a writer lets it go after a while: the test then fails
  // instead of hanging.
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 2000 && !done; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int fd = open(SettingsFile().c_str(), O_RDWR | O_NONBLOCK);
    if (fd >= 0) close(fd);
  });
  const auto start = std::chrono::steady_clock::now();
  const std::string config = API_GetConfig("[]");
  const std::string saved = API_SaveConfig(kWindowedRequest);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  done = true;
  watchdog.join();
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  EXPECT_EQ(config, R"({"resolution":"1920x1080","windowed":false,"vsync":true,"antiAliasing":4,)"
                    R"("version":"1.0.0.0"})");
  EXPECT_EQ(saved, "false");
  EXPECT_TRUE(fs::is_fifo(SettingsFile()));
}

TEST(SettingsFile, TextWithALineBreakIsRefusedAndTheRestStored) {
  StoreSandbox store;
  store.PutText("Version", "2.0");
  testing_support::LogCapture viewer;
  viewer.Start();
  // A raw line break inside the resolution: written as is it would split the value's line.
  const std::string request =
      "[\"{\\\"resolution\\\":\\\"1x1\nmore\\\",\\\"antiAliasing\\\":2,"
      "\\\"windowed\\\":true,\\\"vsync\\\":false}\"]";
  EXPECT_EQ(API_SaveConfig(request), "false");
  const auto entries = settings_testing::LogEntries(viewer, 4);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[3], "E API_SaveConfig: Failed to write registry value Resolution");
  EXPECT_EQ(store.Exported("Resolution"), std::nullopt);
  EXPECT_EQ(store.Exported("Windowed"), "dword:00000001");
  EXPECT_EQ(store.Exported("VSync"), "dword:00000000");
  EXPECT_EQ(store.Exported("Version"), "\"2.0\"");
}

TEST(SettingsFile, FolderComesFromXdgConfigHomeOrHome) {
  StoreSandbox store;
  testing_support::TempDir home("velmora home");
  const std::string previousHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", home.utf8().c_str(), 1);
  for (const char* configHome : {static_cast<const char*>(nullptr), "", "relative/config"}) {
    if (configHome) {
      setenv("XDG_CONFIG_HOME", configHome, 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
    fs::remove_all(home.path() / ".config");
    EXPECT_EQ(API_SaveConfig(kWindowedRequest), "true");
    EXPECT_TRUE(fs::is_regular_file(home.path() / ".config" / "Velmora" / "Launcher.reg"))
        << (configHome ? configHome : "(unset)");
  }
  setenv("HOME", previousHome.c_str(), 1);
}

}  // namespace
