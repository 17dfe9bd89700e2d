// Replacing a file whole through its temporary name: what the target and the folder hold after
// each way a write can end, two writers of one file, and finding and removing what a crash left.
#include "platform/safe_write.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::ReplacingFile;
using testing_support::TempDir;

// Every file below `dir`, relative and sorted.
std::vector<std::string> FilesIn(const TempDir& dir) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
    if (!entry.is_directory()) {
      const std::u8string relative = entry.path().lexically_relative(dir.path()).generic_u8string();
      files.emplace_back(relative.begin(), relative.end());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

struct Ending {
  const char* name;
  std::function<bool(ReplacingFile&)> finish;  // what the writer does after writing "new"
  bool replaced;
};

TEST(SafeWrite, TheTargetChangesOnlyOnACommitAndNoTemporaryFileStays) {
  const Ending endings[] = {
      {"commit", [](ReplacingFile& file) { return file.Commit(); }, true},
      {"discard",
       [](ReplacingFile& file) {
         file.Discard();
         return false;
       },
       false},
      {"dropped unfinished", [](ReplacingFile&) { return false; }, false},
      {"commit after discard",
       [](ReplacingFile& file) {
         file.Discard();
         return file.Commit();
       },
       false},
  };
  for (const Ending& ending : endings) {
    TempDir dir("velmora safe write ä");
    dir.Write("target.bin", "old content, longer than the new one");
    bool committed = false;
    {
      ReplacingFile file(dir.utf8() + "/target.bin");
      ASSERT_TRUE(file.IsOpen()) << ending.name;
      EXPECT_TRUE(fs::exists(fs::u8path(file.TemporaryPath()))) << ending.name;
      EXPECT_TRUE(file.Write("new", 3)) << ending.name;
      committed = ending.finish(file);
    }
    EXPECT_EQ(committed, ending.replaced) << ending.name;
    EXPECT_EQ(dir.Read("target.bin"),
              ending.replaced ? "new" : "old content, longer than the new one")
        << ending.name;
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"target.bin"}) << ending.name;
  }
}

TEST(SafeWrite, ATemporaryFileLeftByACrashIsEmptiedBeforeUse) {
  TempDir dir;
  dir.Write("local_version.txt.velmora-part", "half of a much longer text from a crash");
  ASSERT_TRUE(platform::ReplaceFileContent(dir.utf8() + "/local_version.txt", "2.0"));
  EXPECT_EQ(dir.Read("local_version.txt"), "2.0");
  EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"local_version.txt"});
}

TEST(SafeWrite, ASecondWriterOfTheSameFileIsRefusedAndTheFirstFinishes) {
  TempDir dir;
  ReplacingFile first(dir.utf8() + "/settings");
  ASSERT_TRUE(first.IsOpen());
  ASSERT_TRUE(first.Write("first", 5));
  {
    ReplacingFile second(dir.utf8() + "/settings");
    EXPECT_FALSE(second.IsOpen());
    EXPECT_FALSE(second.Write("second", 6));
    EXPECT_FALSE(second.Commit());
  }
  EXPECT_FALSE(platform::RemoveStrayTemporaryFile(first.TemporaryPath())) << "held by a writer";
  ASSERT_TRUE(first.Commit());
  EXPECT_EQ(dir.Read("settings"), "first");
}

TEST(SafeWrite, AFolderAtTheTargetFailsTheCommitAndLeavesNothing) {
  TempDir dir;
  fs::create_directories(dir.path() / "occupied" / "inside");
  ReplacingFile file(dir.utf8() + "/occupied");
  ASSERT_TRUE(file.IsOpen());
  ASSERT_TRUE(file.Write("data", 4));
  EXPECT_FALSE(file.Commit());
  EXPECT_TRUE(fs::is_directory(dir.path() / "occupied" / "inside"));
  EXPECT_FALSE(fs::exists(dir.path() / "occupied.velmora-part"));
}

TEST(SafeWrite, AMissingFolderFailsAtTheStart) {
  TempDir dir;
  ReplacingFile file(dir.utf8() + "/no folder/file.bin");
  EXPECT_FALSE(file.IsOpen());
  EXPECT_NE(file.ErrorCode(), 0u);
  EXPECT_FALSE(platform::ReplaceFileContent(dir.utf8() + "/no folder/file.bin", "x"));
}

TEST(SafeWrite, LeftoversAreFoundByTheirSuffixAndOnlyUnheldFilesRemoved) {
  TempDir dir;
  dir.Write("a.pak.velmora-part", "left by a crash");
  dir.Write("data/deep ü/b.pak.velmora-part", "left by a crash");
  dir.Write("data/b.pak", "a game file");
  dir.Write("notes.velmora-part.txt", "not a temporary file");
  dir.Write(".velmora-part", "the suffix alone names no file");
  fs::create_directories(dir.path() / "folder.velmora-part");

  std::vector<std::string> found = platform::FindTemporaryFiles(dir.utf8());
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found,
            (std::vector<std::string>{"a.pak.velmora-part", "data/deep ü/b.pak.velmora-part"}));

  const struct {
    const char* path;
    bool removed;
  } removals[] = {
      {"a.pak.velmora-part", true},
      {"data/deep ü/b.pak.velmora-part", true},
      {"folder.velmora-part", false},
      {"missing.velmora-part", false},
  };
  for (const auto& removal : removals) {
    EXPECT_EQ(platform::RemoveStrayTemporaryFile(dir.utf8() + "/" + removal.path), removal.removed)
        << removal.path;
  }
  EXPECT_TRUE(platform::FindTemporaryFiles(dir.utf8()).empty());
  EXPECT_TRUE(fs::is_directory(dir.path() / "folder.velmora-part"));
  EXPECT_EQ(dir.Read("data/b.pak"), "a game file");
}

}  // namespace
