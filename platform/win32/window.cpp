#include <windows.h>

#include "platform/text.h"
#include "platform/window.h"

namespace platform {

namespace {
HWND AsHwnd(NativeWindow window) {
  return static_cast<HWND>(window);
}
}  // namespace

void MinimizeWindow(NativeWindow window) {
  if (window != nullptr) ShowWindow(AsHwnd(window), SW_MINIMIZE);
}

void PostCloseWindow(NativeWindow window) {
  if (window != nullptr) PostMessageA(AsHwnd(window), WM_CLOSE, 0, 0);
}

void MakeBorderless(NativeWindow window) {
  HWND hwnd = AsHwnd(window);
  LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  style &= ~static_cast<LONG>(WS_OVERLAPPEDWINDOW);
  style |= static_cast<LONG>(WS_POPUP);
  SetWindowLongA(hwnd, GWL_STYLE, style);

  LONG extended = GetWindowLongA(hwnd, GWL_EXSTYLE);
  extended &= ~static_cast<LONG>(WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE);
  SetWindowLongA(hwnd, GWL_EXSTYLE, extended);
}

void PlaceWindow(NativeWindow window, int x, int y, int width, int height) {
  SetWindowPos(AsHwnd(window), nullptr, x, y, width, height, SWP_NOZORDER | SWP_FRAMECHANGED);
}

void ShowErrorDialog(const char* text, const char* caption) {
  MessageBoxW(nullptr, Utf8ToUtf16(text).c_str(), Utf8ToUtf16(caption).c_str(),
              MB_OK | MB_ICONERROR);
}

}  // namespace platform
