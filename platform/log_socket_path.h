// Linux only: the address of the log viewer's datagram socket, shared by the launcher's sink and
// the viewer tool.
#pragma once

#include <string>

namespace platform {

// $XDG_RUNTIME_DIR/TarsenWndLog, or /tmp/TarsenWndLog-<uid> when XDG_RUNTIME_DIR is unset.
std::string LogSocketPath();

}  // namespace platform
