// Starting the WebView2 browser engine inside a window: the loader DLL, the environment (browser
// process, user-data folder) and the controller that puts a browser view into the window.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/com_ptr.h"
#include "platform/win32/webview2_api.h"

namespace webview2 {

// WebView2Loader.dll from beside the executable, else from the system's DLL folders (never from
// the current folder). Null, with the reason in `error`, when there is none.
HMODULE LoadLoader(std::string& error);

struct Engine {
  ComPtr<ICoreWebView2Environment> environment;
  ComPtr<ICoreWebView2Controller> controller;
  ComPtr<ICoreWebView2> webview;
};

// Creates the environment and a browser view hosted in `parent`, dispatching this thread's
// messages while the runtime works (the thread must be a COM single-threaded apartment).
// Returns false with the reason in `error` when the runtime is missing or fails.
bool StartEngine(HMODULE loader, HWND parent, Engine& engine, std::string& error);

// The browser engine's user-data folder: %LOCALAPPDATA%\Velmora\Launcher\WebView2, created if
// needed. The program folder may be read-only, so the engine's default (beside the executable)
// is not used. Empty when the folder cannot be made; the engine then picks its default.
std::wstring UserDataFolder();

}  // namespace webview2
