// Delivery of one log line to the external log viewer.
#pragma once

#include <cstddef>

namespace platform {

// Hands `text` (length bytes, followed by a NUL at text[length]) to the viewer, NUL included,
// blocking until the viewer has taken it. The viewer is looked up anew for every line; without
// one the line is dropped. Windows: the window titled "TarsenWndLog" through WM_COPYDATA. Linux:
// the datagram socket $XDG_RUNTIME_DIR/TarsenWndLog (/tmp/TarsenWndLog-<uid> without it).
void SendLogLine(const char* text, std::size_t length);

}  // namespace platform
