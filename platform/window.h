// The launcher's top-level window as the OS sees it.
#pragma once

namespace platform {

// HWND on Windows, GtkWindow* on Linux; null when there is no window.
using NativeWindow = void*;

// Both do nothing for a null window.
void MinimizeWindow(NativeWindow window);
// Asks the window to close and returns at once; the window closes from its own message loop
// once the current call into the page has returned (WM_CLOSE posted, not sent).
void PostCloseWindow(NativeWindow window);

// Removes the frame and caption, leaving a plain rectangle the page draws on.
void MakeBorderless(NativeWindow window);
// Moves the window so its outer rectangle is (x, y, width, height) in screen pixels.
void PlaceWindow(NativeWindow window, int x, int y, int width, int height);

// A modal error dialog with one OK button and no owner window; returns when it is dismissed.
void ShowErrorDialog(const char* text, const char* caption);

}  // namespace platform
