#include <windows.h>

#include "platform/log_transport.h"

namespace platform {

void SendLogLine(const char* text, std::size_t length) {
  // Looked up for every line, never cached: a viewer opened or closed mid-run is seen at once.
  HWND viewer = FindWindowA(nullptr, "TarsenWndLog");
  if (viewer == nullptr) {
    SetLastError(ERROR_SUCCESS);
    return;
  }
  COPYDATASTRUCT transfer{};
  transfer.dwData = 0;
  transfer.cbData = static_cast<DWORD>(length + 1);  // the NUL travels with the line
  transfer.lpData = const_cast<char*>(text);
  SendMessageA(viewer, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&transfer));
}

}  // namespace platform
