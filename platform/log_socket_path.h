// Linux only: where the log viewer's datagram socket lives, shared by the launcher's sink and the
// viewer tool, and the checks that keep another user from standing in for the viewer.
#pragma once

#include <optional>
#include <string>

namespace platform {

struct LogSocketLocation {
  std::string folder;      // the folder that holds the socket
  std::string path;        // the socket itself
  bool ownFolder = false;  // the folder is the launcher's own fallback and must be private
};

// $XDG_RUNTIME_DIR/TarsenWndLog when `runtimeDir` is set and not empty; otherwise
// /tmp/velmora-<uid>/TarsenWndLog, in a folder of this user's own that no other user can enter.
LogSocketLocation LogSocketLocationFor(const char* runtimeDir, unsigned uid);
// The location for this process's environment and user.
LogSocketLocation CurrentLogSocketLocation();
// CurrentLogSocketLocation().path.
std::string LogSocketPath();

// For the viewer, before it binds the socket: creates the fallback folder with mode 0700 when it
// is missing, and checks that it is a folder (not a link) of this user closed to everyone else.
// Returns an empty text when the folder is usable, otherwise what is wrong with it.
std::string PrepareLogSocketFolder(const LogSocketLocation& location);

// For the sender: an identity of the socket at `location` (never 0) when it may be sent to: the
// fallback folder is private, and the socket is a socket owned by this user. Nothing otherwise,
// and nothing when no socket is there.
std::optional<unsigned long long> FindOwnLogSocket(const LogSocketLocation& location);

}  // namespace platform
