// Publishing names and entries only a POSIX file system can hold, and the command itself.
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "platform/launcher_directory.h"
#include "tests/support/temp_dir.h"
#include "tools/publish/publisher.h"

namespace publish {
namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

class PublishPosixTest : public testing::Test {
 protected:
  PublishResult Run() { return Publish({client.path(), "1", out.path() / "patch"}); }

  // The refusal names the offending entry and nothing is left in the output's folder.
  void ExpectRefused(const std::string& named) {
    const PublishResult result = Run();
    EXPECT_EQ(result.status, PublishStatus::Refused);
    EXPECT_NE(result.error.find(named), std::string::npos) << result.error;
    EXPECT_TRUE(fs::is_empty(out.path()));
  }

  TempDir client{"publish client"};
  TempDir out{"publish out"};
};

TEST_F(PublishPosixTest, RefusesNamesThatWouldNotComeOutTheSame) {
  client.Write("good.pak", "g");
  client.Write("maps\\cave.map", "a backslash is a separator on Windows");
  ExpectRefused("maps\\cave.map");
  fs::remove(client.path() / "maps\\cave.map");

  client.Write("bad\xff.pak", "not UTF-8");
  ExpectRefused("UTF-8");
  fs::remove(client.path() / "bad\xff.pak");

  client.Write("what?.map", "x");
  ExpectRefused("what?.map");
  fs::remove(client.path() / "what?.map");

  client.Write("GOOD.PAK/x", "one file with good.pak on Windows");
  ExpectRefused("GOOD.PAK");
}

TEST_F(PublishPosixTest, LinksArePublishedOnlyWhenTheyLeadToAFileInsideTheClient) {
  TempDir elsewhere{"publish elsewhere"};
  elsewhere.Write("secret.txt", "outside");
  client.Write("real/data.pak", "inside");
  fs::create_directory_symlink(client.path() / "real", client.path() / "folder link");
  ExpectRefused("folder link");
  fs::remove(client.path() / "folder link");

  fs::create_symlink(elsewhere.path() / "secret.txt", client.path() / "escape.txt");
  ExpectRefused("escape.txt");
  fs::remove(client.path() / "escape.txt");

  fs::create_symlink(client.path() / "gone", client.path() / "dangling");
  ExpectRefused("dangling");
  fs::remove(client.path() / "dangling");

  fs::create_symlink("real/data.pak", client.path() / "alias.pak");
  ASSERT_EQ(Run().status, PublishStatus::Published);
  EXPECT_EQ(out.Read("patch/files/alias.pak"), "inside");
  EXPECT_FALSE(fs::is_symlink(out.path() / "patch/files/alias.pak"));
}

TEST_F(PublishPosixTest, RefusesAPipe) {
  ASSERT_EQ(mkfifo((client.path() / "pipe").c_str(), 0600), 0);
  ExpectRefused("pipe");
}

TEST_F(PublishPosixTest, CopiesAreReadableByTheServerWhateverTheClientsModes) {
  const fs::path secret = client.Write("private.pak", "p");
  fs::permissions(secret, fs::perms::owner_read, fs::perm_options::replace);
  ASSERT_EQ(Run().status, PublishStatus::Published);
  EXPECT_NE(
      fs::status(out.path() / "patch/files/private.pak").permissions() & fs::perms::others_read,
      fs::perms::none);
}

// The command beside the test program, with its exit status.
int RunCommand(const std::string& arguments) {
  const fs::path tool = fs::path(GetLauncherDirectory()) / "publish";
  const std::string command = "'" + tool.string() + "' " + arguments + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(PublishPosixTest, TheCommandsExitCodes) {
  client.Write("a.pak", "a");
  const std::string from = "'" + client.path().string() + "'";
  const std::string to = "'" + (out.path() / "patch").string() + "'";
  EXPECT_EQ(RunCommand("--help"), 0);
  EXPECT_EQ(RunCommand(from + " 1"), 1);
  EXPECT_EQ(RunCommand("--bogus " + from + " 1 " + to), 1);
  EXPECT_EQ(RunCommand("'" + (client.path() / "missing").string() + "' 1 " + to), 2);
  EXPECT_EQ(RunCommand(from + " 1 " + to), 0);
  EXPECT_EQ(out.Read("patch/files/a.pak"), "a");
  EXPECT_EQ(RunCommand(from + " 2 " + to), 2);
  EXPECT_EQ(RunCommand("--replace --quiet " + from + " 2 " + to), 0);
  EXPECT_NE(out.Read("patch/version.json").find("\"2\""), std::string::npos);
}

TEST_F(PublishPosixTest, TheLauncherCommandsExitCodes) {
  const std::string program = "'" + client.Write("Launcher.exe", "MZ").string() + "'";
  const std::string to = "'" + (out.path() / "patch").string() + "'";
  EXPECT_EQ(RunCommand("--launcher " + program + " 1.0.4 " + to), 1);
  EXPECT_EQ(RunCommand("--launcher --replace " + program + " 1.0.4 " + to + " http://h/patch/"), 1);
  EXPECT_EQ(RunCommand("--launcher " + program + " v1 " + to + " http://h/patch/"), 2);
  EXPECT_EQ(RunCommand("--launcher " + program + " 1.0.4 " + to + " http://h/patch/"), 0);
  EXPECT_EQ(out.Read("patch/Launcher_v1.0.4.exe"), "MZ");
}

}  // namespace
}  // namespace publish
