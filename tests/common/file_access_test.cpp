// Reaching files below a root folder: what entering folders and opening files reports for each
// thing that can stand in the way.
#include "platform/file_access.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::FileProblem;
using platform::FileStatus;
using platform::Folder;
using platform::ReadableFile;
using testing_support::TempDir;

std::string ReadAll(ReadableFile& file) {
  std::string content;
  char buffer[4];  // several reads even for short files
  for (std::ptrdiff_t count; (count = file.Read(buffer, sizeof(buffer))) > 0;)
    content.append(buffer, static_cast<std::size_t>(count));
  return content;
}

TEST(FileAccess, EnteringFoldersAndOpeningFilesBelowARoot) {
  TempDir dir("velmora file access ü");
  dir.Write("data/maps/cave.map", "a cave");
  dir.Write("data/file", "a file where a folder is expected");
  fs::create_directories(dir.path() / "data" / "folder");
  FileStatus status;
  const Folder root = Folder::OpenRoot(dir.utf8(), status);
  ASSERT_TRUE(root.IsOpen());

  const struct {
    const char* folder;
    const char* name;
    FileProblem folderProblem;
    FileProblem fileProblem;
  } cases[] = {
      {"data/maps", "cave.map", FileProblem::None, FileProblem::None},
      {"", "data", FileProblem::None, FileProblem::NotAFile},
      {"data", "folder", FileProblem::None, FileProblem::NotAFile},
      {"data", "none.map", FileProblem::None, FileProblem::Missing},
      {"data/none", "cave.map", FileProblem::Missing, FileProblem::Failed},
      {"data/file", "cave.map", FileProblem::NotAFolder, FileProblem::Failed},
  };
  for (const auto& item : cases) {
    const Folder folder = root.Enter(item.folder, false, status);
    EXPECT_EQ(status.problem, item.folderProblem) << item.folder;
    EXPECT_EQ(folder.IsOpen(), item.folderProblem == FileProblem::None) << item.folder;
    ReadableFile file = ReadableFile::Open(folder, item.name, status);
    EXPECT_EQ(status.problem, item.fileProblem) << item.folder << " " << item.name;
    EXPECT_EQ(file.IsOpen(), item.fileProblem == FileProblem::None) << item.name;
  }

  ReadableFile cave =
      ReadableFile::Open(root.Enter("data/maps", false, status), "cave.map", status);
  EXPECT_EQ(ReadAll(cave), "a cave");
  ReadableFile byPath = ReadableFile::OpenPath(dir.utf8() + "/data/maps/cave.map", status);
  EXPECT_EQ(ReadAll(byPath), "a cave");
  EXPECT_FALSE(ReadableFile::OpenPath(dir.utf8() + "/data", status).IsOpen());
  EXPECT_EQ(status.problem, FileProblem::NotAFile);
}

TEST(FileAccess, EnteringCreatesMissingFoldersButNeverOverAFile) {
  TempDir dir;
  dir.Write("taken", "a file");
  FileStatus status;
  const Folder root = Folder::OpenRoot(dir.utf8(), status);
  const Folder created = root.Enter("new/deeper/still", true, status);
  EXPECT_TRUE(created.IsOpen());
  EXPECT_EQ(status.problem, FileProblem::None);
  EXPECT_TRUE(fs::is_directory(dir.path() / "new" / "deeper" / "still"));

  EXPECT_FALSE(root.Enter("taken/inside", true, status).IsOpen());
  EXPECT_EQ(status.problem, FileProblem::NotAFolder);
  EXPECT_TRUE(fs::is_regular_file(dir.path() / "taken"));

  EXPECT_FALSE(Folder::OpenRoot(dir.utf8() + "/missing", status).IsOpen());
  EXPECT_EQ(status.problem, FileProblem::Missing);
}

}  // namespace
