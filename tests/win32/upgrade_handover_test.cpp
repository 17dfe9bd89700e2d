// The hand-over on real files under wine: a stand-in launcher (upgrade_probe.exe, which runs
// HandleUpgradeMode) copied into a folder beside old launcher files and started as the old
// launcher starts the new one. The folders of a normal update, of a file held open, of a
// sub-folder matching the pattern, and a start under the name LAUNCHER.EXE.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>

#include "platform/launcher_directory.h"
#include "platform/text.h"
#include "tests/launcher/support/log_lines.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

constexpr DWORD kNormalStart = 10;  // the probe's code for "went on as a normal start"

struct Outcome {
  DWORD exitCode = 0;
  DWORD milliseconds = 0;
};

Outcome Start(const fs::path& program, const fs::path& folder) {
  std::wstring commandLine = L"\"" + program.wstring() + L"\" --upgrade";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const ULONGLONG started = GetTickCount64();
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process)) {
    return {GetLastError(), 0};
  }
  WaitForSingleObject(process.hProcess, 60000);
  Outcome outcome;
  GetExitCodeProcess(process.hProcess, &outcome.exitCode);
  outcome.milliseconds = static_cast<DWORD>(GetTickCount64() - started);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return outcome;
}

// The lines of started.txt once a start has written them (the restart is no child of the test).
std::vector<std::string> StartRecord(const TempDir& folder) {
  for (int i = 0; i < 600; ++i) {
    std::istringstream text(folder.Read("started.txt"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
      lines.push_back(line);
    if (lines.size() >= 3) return lines;
    Sleep(50);
  }
  return {};
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(Utf16ToUtf8(entry.path().filename().c_str()));
  std::sort(names.begin(), names.end());
  return names;
}

struct Case {
  const char* what;
  std::vector<std::string> files;  // old launcher files beside the probe
  const char* folderName;          // a sub-folder matching the pattern, or nullptr
  const char* runAs;               // the probe's file name
  const char* heldOpen;            // held open without delete sharing during the run, or nullptr
  DWORD exitCode;
  DWORD atLeastMs;                 // 500 ms wait, 2 s for each file that resists
  std::vector<std::string> lines;  // "%F" stands for the folder with its final backslash
  std::vector<std::string> left;
  const char* startedAs;  // the name the recorded normal start ran under
};

std::string Expand(std::string text, const std::string& folder) {
  for (std::size_t at; (at = text.find("%F")) != std::string::npos;)
    text.replace(at, 2, folder);
  return text;
}

TEST(HandOverOnWindows, FoldersOfEveryKind) {
  const std::string mine = "I|HandleUpgradeMode: Upgrade mode: my path = %FLauncher_v1.0.4.exe";
  const std::string renaming =
      "I|HandleUpgradeMode: Renaming %FLauncher_v1.0.4.exe to %FLauncher.exe";
  const std::string restarting =
      "I|HandleUpgradeMode: Rename successful, restarting as Launcher.exe";
  const Case cases[] = {
      {"the folder of a normal update",
       {"Launcher.exe", "Launcher_v1.0.2.exe"},
       nullptr,
       "Launcher_v1.0.4.exe",
       nullptr,
       0,
       500,
       {mine, "I|HandleUpgradeMode: Deleting old launcher: %FLauncher.exe",
        "I|HandleUpgradeMode: Deleted: %FLauncher.exe",
        "I|HandleUpgradeMode: Deleting old launcher: %FLauncher_v1.0.2.exe",
        "I|HandleUpgradeMode: Deleted: %FLauncher_v1.0.2.exe", renaming, restarting},
       {"Launcher.exe", "started.txt"},
       "Launcher.exe"},
      {"an old launcher held open stays, and the rename fails",
       {"Launcher.exe", "Launcher_v1.0.2.exe"},
       nullptr,
       "Launcher_v1.0.4.exe",
       "Launcher.exe",
       kNormalStart,
       2500,
       {mine, "I|HandleUpgradeMode: Deleting old launcher: %FLauncher.exe",
        "I|HandleUpgradeMode: Deleting old launcher: %FLauncher_v1.0.2.exe",
        "I|HandleUpgradeMode: Deleted: %FLauncher_v1.0.2.exe", renaming,
        "E|HandleUpgradeMode: Failed to rename, error=183"},
       {"Launcher.exe", "Launcher_v1.0.4.exe", "started.txt"},
       "Launcher_v1.0.4.exe"},
      {"a sub-folder matching the pattern stays",
       {"Launcher.exe"},
       "Launcher_dir.exe",
       "Launcher_v1.0.4.exe",
       nullptr,
       0,
       2500,
       {mine, "I|HandleUpgradeMode: Deleting old launcher: %FLauncher.exe",
        "I|HandleUpgradeMode: Deleted: %FLauncher.exe",
        "I|HandleUpgradeMode: Deleting old launcher: %FLauncher_dir.exe", renaming, restarting},
       {"Launcher.exe", "Launcher_dir.exe", "started.txt"},
       "Launcher.exe"},
      {"started under the name LAUNCHER.EXE",
       {"Launcher_v1.0.2.exe"},
       nullptr,
       "LAUNCHER.EXE",
       nullptr,
       kNormalStart,
       0,
       {"I|HandleUpgradeMode: Upgrade mode: my path = %FLAUNCHER.EXE",
        "I|HandleUpgradeMode: Already named Launcher.exe, nothing to upgrade"},
       {"LAUNCHER.EXE", "Launcher_v1.0.2.exe", "started.txt"},
       "LAUNCHER.EXE"},
  };
  const fs::path probe =
      fs::path(Utf8ToUtf16(GetLauncherDirectory().c_str())) / L"upgrade_probe.exe";
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    const TempDir folder("velmora hand-över");
    const std::string shown = folder.utf8() + "\\";
    for (const std::string& name : test.files)
      folder.Write(name, "an old launcher");
    if (test.folderName) fs::create_directory(folder.path() / test.folderName);
    const fs::path program = folder.path() / test.runAs;
    fs::copy_file(probe, program);

    HANDLE held = INVALID_HANDLE_VALUE;
    if (test.heldOpen) {
      held = CreateFileW((folder.path() / test.heldOpen).c_str(), GENERIC_READ, FILE_SHARE_READ,
                         nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(held, INVALID_HANDLE_VALUE);
    }
    testing_support::LogCapture log;
    log.Start();
    const Outcome outcome = Start(program, folder.path());
    const std::vector<std::string> record = StartRecord(folder);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

    EXPECT_EQ(outcome.exitCode, test.exitCode);
    EXPECT_GE(outcome.milliseconds, test.atLeastMs);
    std::vector<std::string> lines = testing_support::LinesUntilNow(log);
    std::vector<std::string> expected;
    for (const std::string& line : test.lines)
      expected.push_back(Expand(line, shown));
    // The order among the old files is the order the folder lists them.
    EXPECT_THAT(lines, testing::UnorderedElementsAreArray(expected));
    if (!lines.empty()) {
      EXPECT_EQ(lines.front(), expected.front());
      EXPECT_EQ(lines.back(), expected.back());
    }
    EXPECT_EQ(Names(folder.path()), test.left);
    ASSERT_EQ(record.size(), 3u) << "the start was recorded once";
    EXPECT_EQ(record[0], shown + test.startedAs);
    EXPECT_EQ(record[1] + (record[1].ends_with("\\") ? "" : "\\"), shown)
        << "runs in the launcher folder";
    if (outcome.exitCode == 0) {
      EXPECT_EQ(record[2], "\"" + shown + "Launcher.exe\"") << "restarted without arguments";
    }
  }
}

}  // namespace
