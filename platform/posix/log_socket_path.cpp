#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/log_socket_path.h"
#include "platform/posix/owner_checks.h"

namespace platform {

LogSocketLocation LogSocketLocationFor(const char* runtimeDir, unsigned uid) {
  if (runtimeDir != nullptr && *runtimeDir != '\0') {
    return {runtimeDir, std::string(runtimeDir) + "/TarsenWndLog", false};
  }
  // Not /tmp itself: anyone may create names there, so another user could bind the socket's
  // name first and receive, or block, every line of this user's launcher.
  const std::string folder = "/tmp/velmora-" + std::to_string(uid);
  return {folder, folder + "/TarsenWndLog", true};
}

LogSocketLocation CurrentLogSocketLocation() {
  return LogSocketLocationFor(std::getenv("XDG_RUNTIME_DIR"), geteuid());
}

std::string LogSocketPath() {
  return CurrentLogSocketLocation().path;
}

std::string PrepareLogSocketFolder(const LogSocketLocation& location) {
  if (!location.ownFolder) return "";
  const char* folder = location.folder.c_str();
  if (mkdir(folder, 0700) != 0 && errno != EEXIST) {
    return "cannot create " + location.folder + ": " + std::strerror(errno);
  }
  // Checked whether it was created now or found: a folder someone else made under this name
  // beforehand is not used.
  struct stat facts {};
  if (lstat(folder, &facts) != 0) {
    return "cannot examine " + location.folder + ": " + std::strerror(errno);
  }
  const OwnerVerdict verdict = CheckPrivateFolder(facts, geteuid());
  if (verdict != OwnerVerdict::Usable) return location.folder + " " + DescribeVerdict(verdict);
  return "";
}

std::optional<unsigned long long> FindOwnLogSocket(const LogSocketLocation& location) {
  const uid_t user = geteuid();
  struct stat facts {};
  if (location.ownFolder && (lstat(location.folder.c_str(), &facts) != 0 ||
                             CheckPrivateFolder(facts, user) != OwnerVerdict::Usable)) {
    return std::nullopt;
  }
  if (lstat(location.path.c_str(), &facts) != 0 ||
      CheckOwnSocket(facts, user) != OwnerVerdict::Usable) {
    return std::nullopt;
  }
  const auto identity = static_cast<unsigned long long>(facts.st_ino);
  return identity != 0 ? identity : 1;
}

}  // namespace platform
