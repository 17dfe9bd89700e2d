#include <windows.h>

#include <chrono>
#include <cstdint>

#include "log/stuck_viewer.h"
#include "platform/log_transport.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// A message cannot be offered to a window without waiting for it to be taken, so lines for a
// window that let one time out are skipped for this long; then one line waits again. Windows
// itself counts a window that has taken no message for five seconds as hung, and SMTO_ABORTIFHUNG
// then gives up at once, so a hung viewer costs one wait, and at most one more at the retry.
constexpr auto kRetryStuckViewer = std::chrono::seconds(5);

logging::StuckViewerMark stuckViewer(kRetryStuckViewer);

}  // namespace

void SendLogLine(const char* text, std::size_t length) {
  // Looked up for every line, never cached: a viewer opened or closed mid-run is seen at once.
  HWND viewer = FindWindowA(nullptr, "TarsenWndLog");
  if (viewer == nullptr) {
    SetLastError(ERROR_SUCCESS);
    return;
  }
  const auto id = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(viewer));
  if (!stuckViewer.MayWait(id, Clock::now())) return;

  const DWORD callerError = GetLastError();
  COPYDATASTRUCT transfer{};
  transfer.dwData = 0;
  transfer.cbData = static_cast<DWORD>(length + 1);  // the NUL travels with the line
  transfer.lpData = const_cast<char*>(text);
  DWORD_PTR reply = 0;
  const LRESULT sent = SendMessageTimeoutA(
      viewer, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&transfer), SMTO_NORMAL | SMTO_ABORTIFHUNG,
      static_cast<UINT>(logging::kViewerWait.count()), &reply);
  if (sent != 0) {
    stuckViewer.Delivered(id);
  } else if (GetLastError() != ERROR_INVALID_WINDOW_HANDLE) {  // not merely closed meanwhile
    stuckViewer.TimedOut(id, Clock::now());
  }
  SetLastError(callerError);  // a failed delivery is not the caller's error
}

}  // namespace platform
