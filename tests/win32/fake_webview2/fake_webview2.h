// A stand-in WebView2Loader.dll for the web window's tests. The real runtime cannot run here
// (wine has none), so this DLL answers the loader's entry point with objects of its own that
// record what the web window asks of them and complete every asynchronous call from a thread
// timer, that is only while the caller dispatches messages, as the real runtime does.
//
// It implements the interfaces as platform/win32/webview2_api.h declares them, so it checks the
// web window's use of them (order of calls, threading, reference counts, the texts exchanged with
// the page), not that the declarations match the real runtime's tables.
//
// A plain C interface: the DLL and the test each carry their own C++ runtime.
#pragma once

#include <windows.h>

#ifdef VELMORA_FAKE_WEBVIEW2_BUILD
#define FAKE_WEBVIEW2_API extern "C" __declspec(dllexport)
#else
#define FAKE_WEBVIEW2_API extern "C" __declspec(dllimport)
#endif

// What the next environment start does: `createResult` is returned by the entry point itself,
// `environmentResult` and `controllerResult` are passed to the completion handlers. Also forgets
// everything recorded so far.
FAKE_WEBVIEW2_API void FakeWebView2Reset(HRESULT createResult, HRESULT environmentResult,
                                         HRESULT controllerResult);

enum FakeWebView2Text {
  kFakeUserDataFolder = 0,  // as passed to the entry point
  kFakeDocumentScript = 1,  // AddScriptToExecuteOnDocumentCreated, in call order
  kFakeExecutedScript = 2,  // ExecuteScript, in call order
  kFakeNavigatedHtml = 3,   // NavigateToString, in call order
};
FAKE_WEBVIEW2_API int FakeWebView2TextCount(int kind);
// The text stays valid until the next Reset.
FAKE_WEBVIEW2_API const wchar_t* FakeWebView2Text(int kind, int index);

// Objects of the fake that are still referenced (environment, controller, view, settings, ...).
FAKE_WEBVIEW2_API int FakeWebView2LiveObjects();
// Handlers the web window gave the fake and that it still holds.
FAKE_WEBVIEW2_API int FakeWebView2HeldHandlers();
FAKE_WEBVIEW2_API HWND FakeWebView2ParentWindow();
FAKE_WEBVIEW2_API RECT FakeWebView2Bounds();
FAKE_WEBVIEW2_API BOOL FakeWebView2Visible();
FAKE_WEBVIEW2_API BOOL FakeWebView2DevToolsEnabled();
FAKE_WEBVIEW2_API BOOL FakeWebView2ControllerClosed();
// TRUE while every call into the fake came from the thread that started the environment (the
// runtime's objects belong to that thread).
FAKE_WEBVIEW2_API BOOL FakeWebView2CallsOnStartingThread();
// How many document scripts were still being added when the page was loaded last: a page loaded
// before its scripts are in place would start without them.
FAKE_WEBVIEW2_API int FakeWebView2ScriptsPendingAtNavigation();

// The page posts `json` (window.chrome.webview.postMessage of that value): delivered at once to
// the registered message handlers. FALSE when none is registered.
FAKE_WEBVIEW2_API BOOL FakeWebView2PostWebMessage(const wchar_t* json);
// One of the engine's processes fails with COREWEBVIEW2_PROCESS_FAILED_KIND `kind`.
FAKE_WEBVIEW2_API BOOL FakeWebView2FailProcess(int kind);
