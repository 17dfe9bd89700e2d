#include "platform/win32/message_pump.h"

namespace webview2 {

namespace {

// Dispatches what is queued now; false when WM_QUIT came up (it is posted again).
bool DispatchQueuedMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

}  // namespace

PumpResult PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (!DispatchQueuedMessages()) return PumpResult::QuitRequested;
    if (done()) return PumpResult::Done;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return PumpResult::TimedOut;
    // Sleeps until a message arrives (or the deadline); MWMO_INPUTAVAILABLE also wakes for
    // messages that were already in the queue but not yet looked at.
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
}

}  // namespace webview2
