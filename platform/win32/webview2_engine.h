// Starting the WebView2 browser engine inside a window: the loader DLL, the environment (browser
// process, user-data folder) and the controller that puts a browser view into the window.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/com_ptr.h"
#include "platform/win32/webview2_api.h"

namespace webview2 {

// The oldest WebView2 Runtime the launcher runs on: the first with ICoreWebView2Settings3.
inline constexpr char kMinimumRuntimeVersion[] = "91.0.864.35";

// WebView2Loader.dll from beside the executable, else from the system's DLL folders (never from
// the current folder). Null, with the reason in `error`, when there is none or it cannot be loaded
// (the file and the system's error code named: 193 is a loader built for another architecture).
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

// Sets up the started view for the launcher: developer tools and the context menu as `debug` asks,
// web messages on, no status bar, no zoom and none of the browser's own keys (reload, print,
// find, history). False, naming the installed version and kMinimumRuntimeVersion, when the
// runtime is too old for that.
bool ApplySettings(Engine& engine, bool debug, std::string& error);

// The runtime's version text ("120.0.2210.91"); "of unknown version" when it does not say.
std::string RuntimeVersion(const Engine& engine);

// The browser engine's user-data folder: %LOCALAPPDATA%\Velmora\Launcher\WebView2, created if
// needed. The program folder may be read-only, so the engine's default (beside the executable)
// is not used. Empty when the folder cannot be made; the engine then picks its default.
std::wstring UserDataFolder();

}  // namespace webview2
