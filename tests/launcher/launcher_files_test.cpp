// The hand-over's file operations on real files in a folder whose name holds a space and a
// non-ASCII letter. Deleting and renaming on Windows are the wine hand-over test's.
#include "platform/launcher_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/temp_dir.h"

#ifndef _WIN32
#include <cerrno>

#include "platform/posix/rename_no_replace.h"
#endif

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

class LauncherFiles : public testing::Test {
 protected:
  std::string Path(const std::string& name) const { return folder.utf8() + "/" + name; }

  TempDir folder{"velmora hand-över"};
};

TEST_F(LauncherFiles, ListsFilesAndFoldersThatMatchThePattern) {
  for (const char* name :
       {"Launcher.exe", "Launcher_v1.0.2.exe", "Launcher ä.exe", "launcher_lower.exe",
        "Launcher.txt", "XLauncher.exe", "Launcher.exe.bak", "Engine.atm"})
    folder.Write(name, "x");
  fs::create_directory(folder.path() / "Launcher_dir.exe");

  std::vector<std::string> names =
      platform::ListMatchingEntries(folder.utf8() + "/", "Launcher*.exe");
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {"Launcher ä.exe", "Launcher.exe", "Launcher_dir.exe",
                                       "Launcher_v1.0.2.exe"};
#ifdef _WIN32
  expected.push_back("launcher_lower.exe");  // Windows names ignore case
#endif
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(platform::ListMatchingEntries(Path("missing") + "/", "Launcher*.exe").empty());
}

#ifndef _WIN32
// The rename the hand-over uses, and both ways under it (link and unlink serve file systems
// without RENAME_NOREPLACE): each moves onto a free name and keeps an existing target.
TEST_F(LauncherFiles, RenamingNeverReplacesAnExistingTarget) {
  const auto seam = [](const std::string& from, const std::string& to) {
    const platform::RenameResult result = platform::RenameWithoutReplacing(from, to);
    return result.renamed ? 0 : static_cast<int>(result.errorCode);
  };
  using Way = int (*)(const std::string&, const std::string&);
  for (const Way way :
       {Way{seam}, Way{platform::posix::RenameNoReplace}, Way{platform::posix::LinkThenUnlink}}) {
    folder.Write("new.exe", "new");
    EXPECT_EQ(way(Path("new.exe"), Path("Launcher.exe")), 0);
    EXPECT_EQ(folder.Read("Launcher.exe"), "new");
    EXPECT_FALSE(fs::exists(folder.path() / "new.exe"));

    folder.Write("newer.exe", "newer");
    EXPECT_EQ(way(Path("newer.exe"), Path("Launcher.exe")), EEXIST);
    EXPECT_EQ(folder.Read("Launcher.exe"), "new");
    EXPECT_EQ(folder.Read("newer.exe"), "newer");
    fs::remove(folder.path() / "Launcher.exe");
    fs::remove(folder.path() / "newer.exe");
  }
}
#endif

}  // namespace
