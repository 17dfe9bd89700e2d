// Where the Linux log socket lives and which folders and sockets the launcher and the viewer
// accept: nobody but the launcher's own user may receive or block its lines.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/log_socket_path.h"
#include "platform/posix/owner_checks.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::OwnerVerdict;
using testing_support::TempDir;

constexpr uid_t kMe = 1000;
constexpr uid_t kOther = 1001;

struct stat Facts(mode_t mode, uid_t owner) {
  struct stat facts {};
  facts.st_mode = mode;
  facts.st_uid = owner;
  return facts;
}

// A socket bound at `path`, closed with the object.
class BoundSocket {
 public:
  explicit BoundSocket(const std::string& path) : fd_(socket(AF_UNIX, SOCK_DGRAM, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  }
  ~BoundSocket() { close(fd_); }
  bool bound() const { return bound_; }

 private:
  int fd_;
  bool bound_ = false;
};

TEST(LogSocketLocation, FollowsTheRuntimeFolderElseAPrivateFolderOfTheUser) {
  struct Case {
    const char* runtimeDir;
    unsigned uid;
    std::string folder;
    std::string path;
    bool ownFolder;
  };
  const std::vector<Case> cases = {
      {"/run/user/1000", 1000, "/run/user/1000", "/run/user/1000/TarsenWndLog", false},
      {nullptr, 1000, "/tmp/velmora-1000", "/tmp/velmora-1000/TarsenWndLog", true},
      {"", 42, "/tmp/velmora-42", "/tmp/velmora-42/TarsenWndLog", true},
  };
  for (const Case& test : cases) {
    const platform::LogSocketLocation location =
        platform::LogSocketLocationFor(test.runtimeDir, test.uid);
    EXPECT_EQ(location.folder, test.folder);
    EXPECT_EQ(location.path, test.path);
    EXPECT_EQ(location.ownFolder, test.ownFolder) << test.path;
  }
}

TEST(LogSocketOwnerChecks, FolderMustBeAPrivateFolderOfTheUser) {
  struct Case {
    mode_t mode;
    uid_t owner;
    OwnerVerdict verdict;
  };
  const std::vector<Case> cases = {
      {S_IFDIR | 0700, kMe, OwnerVerdict::Usable},
      {S_IFDIR | 0500, kMe, OwnerVerdict::Usable},
      {S_IFDIR | 0700, kOther, OwnerVerdict::OtherOwner},
      {S_IFDIR | 0700, 0, OwnerVerdict::OtherOwner},
      {S_IFDIR | 0755, kMe, OwnerVerdict::OpenToOthers},
      {S_IFDIR | 0710, kMe, OwnerVerdict::OpenToOthers},
      {S_IFDIR | 0701, kMe, OwnerVerdict::OpenToOthers},
      {S_IFDIR | 01777, kMe, OwnerVerdict::OpenToOthers},
      {S_IFLNK | 0777, kMe, OwnerVerdict::WrongType},
      {S_IFREG | 0700, kMe, OwnerVerdict::WrongType},
      {S_IFSOCK | 0700, kMe, OwnerVerdict::WrongType},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(platform::CheckPrivateFolder(Facts(test.mode, test.owner), kMe), test.verdict)
        << std::oct << test.mode << " owned by " << std::dec << test.owner;
  }
}

TEST(LogSocketOwnerChecks, SocketMustBeASocketOfTheUser) {
  struct Case {
    mode_t mode;
    uid_t owner;
    OwnerVerdict verdict;
  };
  const std::vector<Case> cases = {
      {S_IFSOCK | 0755, kMe, OwnerVerdict::Usable},
      {S_IFSOCK | 0777, kMe, OwnerVerdict::Usable},
      {S_IFSOCK | 0755, kOther, OwnerVerdict::OtherOwner},
      {S_IFSOCK | 0755, 0, OwnerVerdict::OtherOwner},
      {S_IFLNK | 0777, kMe, OwnerVerdict::WrongType},
      {S_IFIFO | 0600, kMe, OwnerVerdict::WrongType},
      {S_IFREG | 0600, kMe, OwnerVerdict::WrongType},
      {S_IFDIR | 0700, kMe, OwnerVerdict::WrongType},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(platform::CheckOwnSocket(Facts(test.mode, test.owner), kMe), test.verdict)
        << std::oct << test.mode << " owned by " << std::dec << test.owner;
  }
}

platform::LogSocketLocation OwnFolderIn(const TempDir& base) {
  const std::string folder = base.utf8() + "/velmora-" + std::to_string(geteuid());
  return {folder, folder + "/TarsenWndLog", true};
}

TEST(LogSocketFolder, ViewerCreatesTheFolderWithModeSevenHundred) {
  const TempDir base("velmora-runtime");
  const platform::LogSocketLocation location = OwnFolderIn(base);
  const mode_t previous = umask(0);  // the folder must be private whatever the umask
  const std::string problem = platform::PrepareLogSocketFolder(location);
  umask(previous);
  ASSERT_EQ(problem, "");
  struct stat facts {};
  ASSERT_EQ(lstat(location.folder.c_str(), &facts), 0);
  EXPECT_TRUE(S_ISDIR(facts.st_mode));
  EXPECT_EQ(facts.st_mode & 07777, 0700u);
  EXPECT_EQ(facts.st_uid, geteuid());
  EXPECT_EQ(platform::PrepareLogSocketFolder(location), "") << "an existing private folder serves";
}

TEST(LogSocketFolder, ViewerRefusesAFolderThatIsNotPrivate) {
  enum class Planted { FolderOpenToOthers, LinkToPrivateFolder, PlainFile };
  struct Case {
    Planted planted;
    std::string problem;
  };
  const std::vector<Case> cases = {
      {Planted::FolderOpenToOthers, "is open to other users"},
      {Planted::LinkToPrivateFolder, "is not of the expected type"},
      {Planted::PlainFile, "is not of the expected type"},
  };
  for (const Case& test : cases) {
    const TempDir base("velmora-runtime");
    const platform::LogSocketLocation location = OwnFolderIn(base);
    const std::string elsewhere = base.utf8() + "/elsewhere";
    switch (test.planted) {
      case Planted::FolderOpenToOthers:
        ASSERT_EQ(mkdir(location.folder.c_str(), 0700), 0);
        ASSERT_EQ(chmod(location.folder.c_str(), 0777), 0);
        break;
      case Planted::LinkToPrivateFolder:
        ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
        ASSERT_EQ(symlink(elsewhere.c_str(), location.folder.c_str()), 0);
        break;
      case Planted::PlainFile:
        ASSERT_EQ(close(open(location.folder.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
        break;
    }
    const std::string problem = platform::PrepareLogSocketFolder(location);
    EXPECT_NE(problem.find(location.folder + " " + test.problem), std::string::npos) << problem;
  }
}

TEST(LogSocketSender, SendsOnlyToASocketOfItsOwnUserInAPrivateFolder) {
  enum class AtPath { OwnSocket, Nothing, LinkToOwnSocket, PlainFile, SocketOfAnotherUser };
  struct Case {
    std::string name;
    mode_t folderMode;
    AtPath atPath;
    bool found;
  };
  const std::vector<Case> cases = {
      {"own socket in the private folder", 0700, AtPath::OwnSocket, true},
      {"nothing at the path", 0700, AtPath::Nothing, false},
      {"a link to a socket of its own", 0700, AtPath::LinkToOwnSocket, false},
      {"a plain file", 0700, AtPath::PlainFile, false},
      {"own socket in a folder open to others", 0777, AtPath::OwnSocket, false},
      {"a socket handed to another user", 0700, AtPath::SocketOfAnotherUser, false},
  };
  for (const Case& test : cases) {
    const TempDir base("velmora-runtime");
    const platform::LogSocketLocation location = OwnFolderIn(base);
    ASSERT_EQ(mkdir(location.folder.c_str(), 0700), 0);
    ASSERT_EQ(chmod(location.folder.c_str(), test.folderMode), 0);
    std::unique_ptr<BoundSocket> socket;
    switch (test.atPath) {
      case AtPath::OwnSocket:
      case AtPath::SocketOfAnotherUser:
        socket = std::make_unique<BoundSocket>(location.path);
        break;
      case AtPath::LinkToOwnSocket:
        socket = std::make_unique<BoundSocket>(base.utf8() + "/real-socket");
        ASSERT_EQ(symlink((base.utf8() + "/real-socket").c_str(), location.path.c_str()), 0);
        break;
      case AtPath::PlainFile:
        ASSERT_EQ(close(open(location.path.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
        break;
      case AtPath::Nothing:
        break;
    }
    if (socket) {
      ASSERT_TRUE(socket->bound()) << test.name;
    }
    if (test.atPath == AtPath::SocketOfAnotherUser) {
      // Handing a file to another user needs root; the owner check itself is covered with
      // made-up facts in SocketMustBeASocketOfTheUser.
      if (geteuid() != 0) continue;
      ASSERT_EQ(lchown(location.path.c_str(), 65534, 65534), 0);
    }
    EXPECT_EQ(platform::FindOwnLogSocket(location).has_value(), test.found) << test.name;
  }
}

}  // namespace
