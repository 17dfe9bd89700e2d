#include "platform/launcher_directory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(LauncherDirectory, IsTheFolderOfTheRunningProgramWithoutTrailingSeparator) {
  const std::string executable = GetExecutablePath();
  const std::string directory = GetLauncherDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_NE(directory.back(), '/');
  EXPECT_NE(directory.back(), '\\');
  // The executable sits directly in that folder.
  ASSERT_GT(executable.size(), directory.size() + 1);
  EXPECT_EQ(executable.substr(0, directory.size()), directory);
  EXPECT_TRUE(executable[directory.size()] == '/' || executable[directory.size()] == '\\');
  EXPECT_NE(executable.find("common_test"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::u8path(directory)));
}

}  // namespace
