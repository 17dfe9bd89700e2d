// Delivery of one log line to the external log viewer.
#pragma once

#include <cstddef>

namespace platform {

// Hands `text` (length bytes, followed by a NUL at text[length]) to the viewer, NUL included.
// The viewer is looked up anew for every line; without one the line is dropped. A viewer that
// does not take the line within logging::kViewerWait loses it, and while it stays stuck later
// lines do not wait for it (log/stuck_viewer.h). Windows: the window titled "TarsenWndLog"
// through WM_COPYDATA. Linux: the datagram socket of platform/log_socket_path.h, used only when
// it belongs to this user.
void SendLogLine(const char* text, std::size_t length);

}  // namespace platform
