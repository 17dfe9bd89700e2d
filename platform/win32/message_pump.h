// Waiting on the UI thread without blocking it: messages keep flowing (so asynchronous
// completions that arrive as window messages can run) until a condition holds.
#pragma once

#include <windows.h>

#include <functional>

namespace webview2 {

enum class PumpResult { Done, TimedOut, QuitRequested };

// Dispatches this thread's messages until `done` returns true or `timeoutMs` has passed. A
// WM_QUIT taken from the queue is posted again, so the caller's own loop still sees it.
PumpResult PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);

}  // namespace webview2
