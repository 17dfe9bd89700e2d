// A stand-in WebView2Loader.dll for the web window's tests. The real runtime cannot run here
// (wine has none), so this DLL answers the loader's entry point with objects of its own that
// record what the web window asks of them and complete every asynchronous call from a thread
// timer, that is only while the caller dispatches messages, as the real runtime does.
//
// Its objects are laid out as the SDK lays out the real ones: each is a table of functions whose
// slot numbers come from platform/win32/webview2_sdk.h (the numbers of Microsoft's WebView2.h),
// never from the launcher's own declarations (platform/win32/webview2_api.h). Every call records
// the slot it arrived at, so a method the launcher declares at the wrong place lands on another
// method here, or on a slot the stand-in does not serve, and the tests see it. Handlers the
// launcher gives it are asked for their SDK interface before they are called.
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
// everything recorded so far and brings back a current runtime (FakeWebView2SetOldRuntime).
FAKE_WEBVIEW2_API void FakeWebView2Reset(HRESULT createResult, HRESULT environmentResult,
                                         HRESULT controllerResult);
// From the next environment on, the runtime reports version 90.0.818.66 and its settings do not
// answer for ICoreWebView2Settings3. The variable VELMORA_FAKE_WEBVIEW2_RUNTIME=old in the
// environment of a process that loads the stand-in does the same.
FAKE_WEBVIEW2_API void FakeWebView2SetOldRuntime(BOOL old);

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
// What the launcher set: 1 TRUE, 0 FALSE, -1 never set. `name` is the SDK's property name:
// "AreDefaultContextMenusEnabled", "IsStatusBarEnabled", "IsZoomControlEnabled",
// "AreBrowserAcceleratorKeysEnabled", "IsWebMessageEnabled".
FAKE_WEBVIEW2_API int FakeWebView2Setting(const char* name);
// TRUE while every call into the fake came from the thread that started the environment (the
// runtime's objects belong to that thread).
FAKE_WEBVIEW2_API BOOL FakeWebView2CallsOnStartingThread();
// How many document scripts were still being added when the page was loaded last: a page loaded
// before its scripts are in place would start without them.
FAKE_WEBVIEW2_API int FakeWebView2ScriptsPendingAtNavigation();

// How many calls arrived at slot `slot` of the interface named `interfaceName` ("ICoreWebView2",
// "ICoreWebView2Settings", ...; handlers by their own interface names for the calls the fake
// made to them).
FAKE_WEBVIEW2_API int FakeWebView2SlotCalls(const char* interfaceName, int slot);
// Calls that arrived where the fake serves no method, and handlers that did not answer for their
// interface: each one described ("ICoreWebView2 slot 13").
FAKE_WEBVIEW2_API int FakeWebView2WrongCallCount();
FAKE_WEBVIEW2_API const char* FakeWebView2WrongCall(int index);

// The address of the top-level document: "about:blank" once a page loaded by NavigateToString
// is in place, as the runtime reports it; empty before.
FAKE_WEBVIEW2_API const wchar_t* FakeWebView2DocumentSource();

// The page posts `json` (window.chrome.webview.postMessage of that value) from the current
// top-level document, or from the document at `source`: delivered at once to the registered
// message handlers. FALSE when none is registered.
FAKE_WEBVIEW2_API BOOL FakeWebView2PostWebMessage(const wchar_t* json);
FAKE_WEBVIEW2_API BOOL FakeWebView2PostWebMessageFrom(const wchar_t* json, const wchar_t* source);
// The top-level document starts navigating to `uri` (a link, top.location, a reload): the
// NavigationStarting handlers run at once. Returns 1 when they cancelled it; 0 when they let it
// go on, and then the new document is in place (ContentLoading) when the caller next dispatches
// messages; -1 when no handler is registered.
FAKE_WEBVIEW2_API int FakeWebView2Navigate(const wchar_t* uri, BOOL userInitiated);
// The page or a frame asks for a new window at `uri`: the NewWindowRequested handlers run at
// once. Returns 1 when they marked it handled (no window opens), 0 when a window would open, -1
// when no handler is registered.
FAKE_WEBVIEW2_API int FakeWebView2RequestNewWindow(const wchar_t* uri, BOOL userInitiated);
// A new top-level document at `uri` is in place without a navigation anyone could refuse (the
// runtime failing to ask): the ContentLoading handlers run at once.
FAKE_WEBVIEW2_API BOOL FakeWebView2ShowDocument(const wchar_t* uri);
// One of the engine's processes fails with COREWEBVIEW2_PROCESS_FAILED_KIND `kind`.
FAKE_WEBVIEW2_API BOOL FakeWebView2FailProcess(int kind);
