// The hand-over's file operations on real files in a folder whose name holds a space and a
// non-ASCII letter.
#include "platform/launcher_files.h"

#include <gmock/gmock.h>
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

#ifdef _WIN32
constexpr unsigned long kTargetExists = 183;  // ERROR_ALREADY_EXISTS
#else
constexpr unsigned long kTargetExists = EEXIST;
#endif

class LauncherFiles : public testing::Test {
 protected:
  std::string Path(const std::string& name) const { return folder.utf8() + "/" + name; }
  std::string Folder() const { return folder.utf8() + "/"; }

  TempDir folder{"velmora hand-över"};
};

TEST_F(LauncherFiles, ListsFilesAndFoldersThatMatchThePattern) {
  for (const char* name :
       {"Launcher.exe", "Launcher_v1.0.2.exe", "Launcher ä.exe", "launcher_lower.exe",
        "Launcher.txt", "XLauncher.exe", "Launcher.exe.bak", "Engine.atm"})
    folder.Write(name, "x");
  fs::create_directory(folder.path() / "Launcher_dir.exe");

  std::vector<std::string> names = platform::ListMatchingEntries(Folder(), "Launcher*.exe");
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {"Launcher ä.exe", "Launcher.exe", "Launcher_dir.exe",
                                       "Launcher_v1.0.2.exe"};
#ifdef _WIN32
  expected.push_back("launcher_lower.exe");  // Windows names ignore case
#endif
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(platform::ListMatchingEntries(Path("missing") + "/", "Launcher*.exe").empty());
}

TEST_F(LauncherFiles, DeletesFilesButNeitherFoldersNorWhatIsNotThere) {
  folder.Write("Launcher.exe", "old");
  fs::create_directory(folder.path() / "Launcher_dir.exe");
  EXPECT_TRUE(platform::DeleteOneFile(Path("Launcher.exe")));
  EXPECT_FALSE(fs::exists(folder.path() / "Launcher.exe"));
  EXPECT_FALSE(platform::DeleteOneFile(Path("Launcher.exe")));
  EXPECT_FALSE(platform::DeleteOneFile(Path("Launcher_dir.exe")));
  EXPECT_TRUE(fs::is_directory(folder.path() / "Launcher_dir.exe"));
}

TEST_F(LauncherFiles, RenamesOnlyOntoAFreeName) {
  folder.Write("Launcher_v1.0.4.exe", "new");
  platform::RenameResult result =
      platform::RenameWithoutReplacing(Path("Launcher_v1.0.4.exe"), Path("Launcher.exe"));
  EXPECT_TRUE(result.renamed);
  EXPECT_EQ(folder.Read("Launcher.exe"), "new");
  EXPECT_FALSE(fs::exists(folder.path() / "Launcher_v1.0.4.exe"));

  folder.Write("Launcher_v1.0.5.exe", "newer");
  result = platform::RenameWithoutReplacing(Path("Launcher_v1.0.5.exe"), Path("Launcher.exe"));
  EXPECT_FALSE(result.renamed);
  EXPECT_EQ(result.errorCode, kTargetExists);
  EXPECT_EQ(folder.Read("Launcher.exe"), "new");
  EXPECT_EQ(folder.Read("Launcher_v1.0.5.exe"), "newer");
}

#ifndef _WIN32
// File systems without RENAME_NOREPLACE get the link and unlink; both ways keep an existing target.
TEST_F(LauncherFiles, BothLinuxWaysKeepAnExistingTarget) {
  using Way = int (*)(const std::string&, const std::string&);
  for (const Way way :
       {Way{platform::posix::RenameNoReplace}, Way{platform::posix::LinkThenUnlink}}) {
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
