// The hand-over procedure against a stand-in folder that ignores letter case as Windows does:
// the operations it performs, in order, the log lines it writes and the files it leaves. Real
// folders (a sub-folder, a file held open, LAUNCHER.EXE) are the wine test's; this covers what
// they cannot make happen on demand.
#include "launcher/upgrade_handover.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tests/launcher/support/log_lines.h"

namespace {

using testing_support::LinesUntilNow;

constexpr int kAlways = 1000;

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// A folder of files whose names the system compares without case; `stuck` files refuse to be
// deleted that many times (a file held open, a folder).
struct FakeFolder {
  std::vector<std::string> files;  // full paths, in listing order
  std::map<std::string, int> stuck;
  platform::StartResult startResult{true, 0};
  std::vector<std::string> trace;

  std::vector<std::string>::iterator Find(const std::string& path) {
    return std::find_if(files.begin(), files.end(),
                        [&](const std::string& file) { return Lower(file) == Lower(path); });
  }

  upgrade::HandOverOperations Operations() {
    return {
        [this](unsigned ms) { trace.push_back("sleep " + std::to_string(ms)); },
        [this](const std::string& folder, const std::string& pattern) {
          trace.push_back("list " + folder + pattern);
          std::vector<std::string> names;
          for (const std::string& file : files)
            names.push_back(file.substr(folder.size()));
          return names;
        },
        [this](const std::string& path) {
          trace.push_back("delete " + path);
          const auto file = Find(path);
          if (file == files.end() || stuck[*file]-- > 0) return false;
          files.erase(file);
          return true;
        },
        [this](const std::string& from, const std::string& to) {
          trace.push_back("rename " + from + " -> " + to);
          if (Find(to) != files.end()) return platform::RenameResult{false, 183};
          *Find(from) = to;
          return platform::RenameResult{true, 0};
        },
        [this](const platform::CommandLine& command, const std::string& folder) {
          trace.push_back("start " + platform::FormatCommandLine(command) + " in " + folder);
          return startResult;
        },
    };
  }
};

std::vector<std::string> Repeat(int times, const std::vector<std::string>& steps) {
  std::vector<std::string> all;
  for (int i = 0; i < times; ++i)
    all.insert(all.end(), steps.begin(), steps.end());
  return all;
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

const std::string kNew = "/g/Launcher_v1.0.4.exe";
const std::string kOld = "/g/Launcher.exe";
const std::string kEarlier = "/g/Launcher_v1.0.2.exe";
const std::vector<std::string> kHead = {"sleep 500", "list /g/Launcher*.exe"};
const std::vector<std::string> kRenameAndStart = {
    "delete " + kOld, "rename " + kNew + " -> " + kOld, "start \"" + kOld + "\" in /g/"};

std::string Info(const std::string& message) {
  return "I|HandleUpgradeMode: " + message;
}
std::string Error(const std::string& message) {
  return "E|HandleUpgradeMode: " + message;
}

struct Case {
  const char* what;
  std::string ownPath;
  std::vector<std::string> files;
  std::map<std::string, int> stuck;
  platform::StartResult start;
  bool goesOn;
  std::vector<std::string> trace;
  std::vector<std::string> lines;
  std::vector<std::string> left;
};

TEST(HandOver, DeletesTheOldLaunchersRenamesAndRestarts) {
  const std::vector<std::string> deleteBoth = {
      Info("Deleting old launcher: " + kOld), Info("Deleted: " + kOld),
      Info("Deleting old launcher: " + kEarlier), Info("Deleted: " + kEarlier)};
  const std::string renaming = Info("Renaming " + kNew + " to " + kOld);
  const std::string restarting = Info("Rename successful, restarting as Launcher.exe");
  const Case cases[] = {
      {"the folder of a normal update",
       kNew,
       {kOld, kNew, kEarlier},
       {},
       {true, 0},
       false,
       Join({kHead, {"delete " + kOld, "delete " + kEarlier}, kRenameAndStart}),
       Join({{Info("Upgrade mode: my path = " + kNew)}, deleteBoth, {renaming, restarting}}),
       {kOld}},
      {"the running file, listed in other letter case, is skipped",
       "/g/launcher_V1.0.4.EXE",
       {kNew},
       {},
       {true, 0},
       false,
       {"sleep 500", "list /g/Launcher*.exe", "delete " + kOld,
        "rename /g/launcher_V1.0.4.EXE -> " + kOld, "start \"" + kOld + "\" in /g/"},
       {Info("Upgrade mode: my path = /g/launcher_V1.0.4.EXE"),
        Info("Renaming /g/launcher_V1.0.4.EXE to " + kOld), restarting},
       {kOld}},
      {"a file held for a moment goes on the third attempt",
       kNew,
       {kOld, kNew},
       {{kOld, 2}},
       {true, 0},
       false,
       Join({kHead,
             Repeat(2, {"delete " + kOld, "sleep 200"}),
             {"delete " + kOld},
             kRenameAndStart}),
       {Info("Upgrade mode: my path = " + kNew), Info("Deleting old launcher: " + kOld),
        Info("Deleted: " + kOld), renaming, restarting},
       {kOld}},
      {"an old launcher that stays makes the rename fail",
       kNew,
       {kOld, kNew},
       {{kOld, kAlways}},
       {true, 0},
       true,
       Join({kHead,
             Repeat(10, {"delete " + kOld, "sleep 200"}),
             {"delete " + kOld, "rename " + kNew + " -> " + kOld}}),
       {Info("Upgrade mode: my path = " + kNew), Info("Deleting old launcher: " + kOld), renaming,
        Error("Failed to rename, error=183")},
       {kOld, kNew}},
      {"a restart that cannot start is logged",
       kNew,
       {kNew},
       {},
       {false, 2},
       false,
       Join({kHead, kRenameAndStart}),
       {Info("Upgrade mode: my path = " + kNew), renaming, restarting,
        Error("Failed to restart as Launcher.exe, error=2")},
       {kOld}},
      {"a path without a folder",
       "Launcher_v1.0.4.exe",
       {"Launcher.exe", "Launcher_v1.0.4.exe"},
       {},
       {true, 0},
       false,
       {"sleep 500", "list Launcher*.exe", "delete Launcher.exe", "delete Launcher.exe",
        "rename Launcher_v1.0.4.exe -> Launcher.exe", "start \"Launcher.exe\" in "},
       {Info("Upgrade mode: my path = Launcher_v1.0.4.exe"),
        Info("Deleting old launcher: Launcher.exe"), Info("Deleted: Launcher.exe"),
        Info("Renaming Launcher_v1.0.4.exe to Launcher.exe"), restarting},
       {"Launcher.exe"}},
      {"no own path touches nothing",
       "",
       {kOld, kNew},
       {},
       {true, 0},
       true,
       {},
       {Error("Upgrade mode: own path unknown, starting normally")},
       {kOld, kNew}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    testing_support::LogCapture log;
    log.Start();
    FakeFolder folder{test.files, test.stuck, test.start, {}};
    const bool goesOn =
        upgrade::RunHandOver(upgrade::HandOverPathsFor(test.ownPath, '/'), folder.Operations());
    EXPECT_EQ(goesOn, test.goesOn);
    EXPECT_THAT(folder.trace, testing::ElementsAreArray(test.trace));
    EXPECT_THAT(LinesUntilNow(log), testing::ElementsAreArray(test.lines));
    std::vector<std::string> left = folder.files;
    std::sort(left.begin(), left.end());
    EXPECT_THAT(left, testing::ElementsAreArray(test.left));
  }
}

TEST(HandOver, NameComparisonFoldsTheLettersAToZOnly) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } pairs[] = {
      {"Launcher.exe", "LAUNCHER.EXE", true},
      {"launcher.exe", "Launcher.exe", true},
      {"/G/ä/Launcher.exe", "/g/ä/launcher.EXE", true},
      {"Launcher.exé", "LAUNCHER.EXÉ", false},  // é and É are other bytes
      {"Launcher.exe", "Launcher.exe ", false},
      {"Launcher.ex", "Launcher.exe", false},
      {"a@", "a`", false},  // 0x40 and 0x60 differ by the case bit but are no letters
      {"[", "{", false},
  };
  for (const auto& pair : pairs) {
    EXPECT_EQ(upgrade::SameIgnoringAsciiCase(pair.a, pair.b), pair.same) << pair.a << " " << pair.b;
  }
}

}  // namespace
