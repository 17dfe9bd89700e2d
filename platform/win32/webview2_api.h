// The part of the WebView2 COM interface that the web window uses, declared from the public API
// reference. WebView2Loader.dll is loaded at run time, so no SDK header or import library is
// needed to build.
//
// A COM interface is a table of function pointers, so what matters here is the order and the
// number of methods: every interface below lists its methods in table order up to the last one
// the web window calls (slot numbers in the comments; 0 to 2 are IUnknown's). Methods the web
// window never calls keep their place with loose parameter types. webview2_sdk.h holds the SDK's
// numbers for every method used here; webview2_api_check.cpp and the web window's tests hold the
// declarations below to them.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <objidl.h>
#include <unknwn.h>

// COM objects are released, never deleted through an interface, so their interfaces have no
// virtual destructor; the warning about that does not apply to them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace webview2 {

struct EventRegistrationToken {
  __int64 value;
};

struct ICoreWebView2;
struct ICoreWebView2ContentLoadingEventArgs;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2NavigationStartingEventArgs;
struct ICoreWebView2NewWindowRequestedEventArgs;
struct ICoreWebView2ProcessFailedEventArgs;
struct ICoreWebView2Settings;
struct ICoreWebView2WebMessageReceivedEventArgs;

// Stands for a handler or argument type of a method that is never called here.
using Unused = void*;

// ---- Handlers the web window implements --------------------------------------------------------

struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler : IUnknown {
  static constexpr IID kIid = {
      0x4e8a3389, 0xc9d8, 0x4bd2, {0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode,
                                           ICoreWebView2Environment* environment) = 0;  // 3
};

struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler : IUnknown {
  static constexpr IID kIid = {
      0x6c4819f3, 0xc9b7, 0x4260, {0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode,
                                           ICoreWebView2Controller* controller) = 0;  // 3
};

struct ICoreWebView2WebMessageReceivedEventHandler : IUnknown {
  static constexpr IID kIid = {
      0x57213f19, 0x00e6, 0x49fa, {0x8e, 0x07, 0x89, 0x8e, 0xa0, 0x1e, 0xcb, 0xd2}};
  virtual HRESULT STDMETHODCALLTYPE
  Invoke(ICoreWebView2* sender,
         ICoreWebView2WebMessageReceivedEventArgs* args) = 0;  // 3
};

struct ICoreWebView2ProcessFailedEventHandler : IUnknown {
  static constexpr IID kIid = {
      0x79e0aea4, 0x990b, 0x42d9, {0xaa, 0x1d, 0x0f, 0xcc, 0x2e, 0x5b, 0xc7, 0xf1}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                           ICoreWebView2ProcessFailedEventArgs* args) = 0;  // 3
};

struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler : IUnknown {
  static constexpr IID kIid = {
      0xb99369f3, 0x9b11, 0x47b5, {0xbc, 0x6f, 0x8e, 0x78, 0x95, 0xfc, 0xea, 0x17}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, LPCWSTR id) = 0;  // 3
};

struct ICoreWebView2ExecuteScriptCompletedHandler : IUnknown {
  static constexpr IID kIid = {
      0x49511172, 0xcc67, 0x4bca, {0x99, 0x23, 0x13, 0x71, 0x12, 0xf4, 0xc4, 0xcc}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, LPCWSTR resultAsJson) = 0;  // 3
};

struct ICoreWebView2NavigationStartingEventHandler : IUnknown {
  static constexpr IID kIid = {
      0x9adbe429, 0xf36d, 0x432b, {0x9d, 0xdc, 0xf8, 0x88, 0x1f, 0xbd, 0x76, 0xe3}};
  virtual HRESULT STDMETHODCALLTYPE
  Invoke(ICoreWebView2* sender,
         ICoreWebView2NavigationStartingEventArgs* args) = 0;  // 3
};

struct ICoreWebView2ContentLoadingEventHandler : IUnknown {
  static constexpr IID kIid = {
      0x364471e7, 0xf2be, 0x4910, {0xbd, 0xba, 0xd7, 0x20, 0x77, 0xd5, 0x1c, 0x4b}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                           ICoreWebView2ContentLoadingEventArgs* args) = 0;  // 3
};

struct ICoreWebView2NewWindowRequestedEventHandler : IUnknown {
  static constexpr IID kIid = {
      0xd4c185fe, 0xc81c, 0x4989, {0x97, 0xaf, 0x2d, 0x3f, 0xa7, 0xab, 0x56, 0x51}};
  virtual HRESULT STDMETHODCALLTYPE
  Invoke(ICoreWebView2* sender,
         ICoreWebView2NewWindowRequestedEventArgs* args) = 0;  // 3
};

// ---- Objects the runtime implements ------------------------------------------------------------

struct ICoreWebView2Environment : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parentWindow,
      ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream* content, int statusCode,
                                                              LPCWSTR reasonPhrase, LPCWSTR headers,
                                                              Unused*) = 0;  // 4
  // The runtime's version ("120.0.2210.91"), allocated with CoTaskMemAlloc.
  virtual HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* versionInfo) = 0;  // 5
};

struct ICoreWebView2Controller : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* isVisible) = 0;      // 3
  virtual HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) = 0;       // 4
  virtual HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) = 0;            // 5
  virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) = 0;             // 6
  virtual HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoomFactor) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) = 0;   // 8
  virtual HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(Unused,
                                                          EventRegistrationToken*) = 0;    // 9
  virtual HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken) = 0;  // 10
  virtual HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT bounds,
                                                           double zoomFactor) = 0;  // 11
  virtual HRESULT STDMETHODCALLTYPE MoveFocus(int reason) = 0;                      // 12
  virtual HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(Unused,
                                                           EventRegistrationToken*) = 0;    // 13
  virtual HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken) = 0;  // 14
  virtual HRESULT STDMETHODCALLTYPE add_GotFocus(Unused, EventRegistrationToken*) = 0;      // 15
  virtual HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken) = 0;            // 16
  virtual HRESULT STDMETHODCALLTYPE add_LostFocus(Unused, EventRegistrationToken*) = 0;     // 17
  virtual HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken) = 0;           // 18
  virtual HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(Unused,
                                                              EventRegistrationToken*) = 0;    // 19
  virtual HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventRegistrationToken) = 0;  // 20
  virtual HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parentWindow) = 0;                  // 21
  virtual HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND parentWindow) = 0;                   // 22
  virtual HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() = 0;                   // 23
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;                                               // 24
  virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) = 0;        // 25
};

struct ICoreWebView2Settings : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_IsScriptEnabled(BOOL* enabled) = 0;                 // 3
  virtual HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL enabled) = 0;                  // 4
  virtual HRESULT STDMETHODCALLTYPE get_IsWebMessageEnabled(BOOL* enabled) = 0;             // 5
  virtual HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL enabled) = 0;              // 6
  virtual HRESULT STDMETHODCALLTYPE get_AreDefaultScriptDialogsEnabled(BOOL* enabled) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL enabled) = 0;   // 8
  virtual HRESULT STDMETHODCALLTYPE get_IsStatusBarEnabled(BOOL* enabled) = 0;              // 9
  virtual HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL enabled) = 0;               // 10
  virtual HRESULT STDMETHODCALLTYPE get_AreDevToolsEnabled(BOOL* enabled) = 0;              // 11
  virtual HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL enabled) = 0;               // 12
  virtual HRESULT STDMETHODCALLTYPE get_AreDefaultContextMenusEnabled(BOOL* enabled) = 0;   // 13
  virtual HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL enabled) = 0;    // 14
  virtual HRESULT STDMETHODCALLTYPE get_AreHostObjectsAllowed(BOOL* allowed) = 0;           // 15
  virtual HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL allowed) = 0;            // 16
  virtual HRESULT STDMETHODCALLTYPE get_IsZoomControlEnabled(BOOL* enabled) = 0;            // 17
  virtual HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL enabled) = 0;             // 18
  virtual HRESULT STDMETHODCALLTYPE get_IsBuiltInErrorPageEnabled(BOOL* enabled) = 0;       // 19
  virtual HRESULT STDMETHODCALLTYPE put_IsBuiltInErrorPageEnabled(BOOL enabled) = 0;        // 20
};

// The first continuation of the settings: the user agent.
struct ICoreWebView2Settings2 : ICoreWebView2Settings {
  virtual HRESULT STDMETHODCALLTYPE get_UserAgent(LPWSTR* userAgent) = 0;  // 21
  virtual HRESULT STDMETHODCALLTYPE put_UserAgent(LPCWSTR userAgent) = 0;  // 22
};

// Whether the browser's own keys work (reload, print, find, zoom, history): the newest interface
// the launcher needs, which sets the oldest runtime it runs on.
struct ICoreWebView2Settings3 : ICoreWebView2Settings2 {
  static constexpr IID kIid = {
      0xfdb5ab74, 0xaf33, 0x4854, {0x84, 0xf0, 0x0a, 0x63, 0x1d, 0xeb, 0x5e, 0xba}};
  virtual HRESULT STDMETHODCALLTYPE get_AreBrowserAcceleratorKeysEnabled(BOOL* enabled) = 0;  // 23
  virtual HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL enabled) = 0;   // 24
};

struct ICoreWebView2WebMessageReceivedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) = 0;  // 3
  // The message as JSON text, allocated with CoTaskMemAlloc.
  virtual HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* json) = 0;  // 4
};

// COREWEBVIEW2_PROCESS_FAILED_KIND: which of the engine's processes failed, and how.
enum ProcessFailedKind : int {
  kBrowserProcessExited = 0,
  kRenderProcessExited = 1,
  kRenderProcessUnresponsive = 2,
};

struct ICoreWebView2ProcessFailedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(int* kind) = 0;  // 3
};

struct ICoreWebView2NavigationStartingEventArgs : IUnknown {
  // The address being navigated to, allocated with CoTaskMemAlloc.
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;                        // 3
  virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;  // 4
  virtual HRESULT STDMETHODCALLTYPE get_IsRedirected(BOOL* isRedirected) = 0;        // 5
  virtual HRESULT STDMETHODCALLTYPE get_RequestHeaders(Unused* requestHeaders) = 0;  // 6
  virtual HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) = 0;                    // 7
  virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) = 0;                     // 8
};

struct ICoreWebView2NewWindowRequestedEventArgs : IUnknown {
  // The address of the window asked for, allocated with CoTaskMemAlloc.
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;                      // 3
  virtual HRESULT STDMETHODCALLTYPE put_NewWindow(ICoreWebView2* newWindow) = 0;   // 4
  virtual HRESULT STDMETHODCALLTYPE get_NewWindow(ICoreWebView2** newWindow) = 0;  // 5
  // TRUE: no window opens.
  virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;                   // 6
  virtual HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) = 0;                  // 7
  virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;  // 8
};

struct ICoreWebView2 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) = 0;                         // 4
  virtual HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) = 0;                           // 5
  virtual HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR htmlContent) = 0;           // 6
  // Top-level navigations only; frames have an event of their own.
  virtual HRESULT STDMETHODCALLTYPE
  add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* handler,
                         EventRegistrationToken* token) = 0;                                // 7
  virtual HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken) = 0;  // 8
  // A new top-level document, before any of its scripts run.
  virtual HRESULT STDMETHODCALLTYPE
  add_ContentLoading(ICoreWebView2ContentLoadingEventHandler* handler,
                     EventRegistrationToken* token) = 0;                                      // 9
  virtual HRESULT STDMETHODCALLTYPE remove_ContentLoading(EventRegistrationToken) = 0;        // 10
  virtual HRESULT STDMETHODCALLTYPE add_SourceChanged(Unused, EventRegistrationToken*) = 0;   // 11
  virtual HRESULT STDMETHODCALLTYPE remove_SourceChanged(EventRegistrationToken) = 0;         // 12
  virtual HRESULT STDMETHODCALLTYPE add_HistoryChanged(Unused, EventRegistrationToken*) = 0;  // 13
  virtual HRESULT STDMETHODCALLTYPE remove_HistoryChanged(EventRegistrationToken) = 0;        // 14
  virtual HRESULT STDMETHODCALLTYPE add_NavigationCompleted(Unused,
                                                            EventRegistrationToken*) = 0;    // 15
  virtual HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken) = 0;  // 16
  virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationStarting(Unused,
                                                                EventRegistrationToken*) = 0;  // 17
  virtual HRESULT STDMETHODCALLTYPE
      remove_FrameNavigationStarting(EventRegistrationToken) = 0;  // 18
  virtual HRESULT STDMETHODCALLTYPE
  add_FrameNavigationCompleted(Unused,
                               EventRegistrationToken*) = 0;  // 19
  virtual HRESULT STDMETHODCALLTYPE
      remove_FrameNavigationCompleted(EventRegistrationToken) = 0;  // 20
  virtual HRESULT STDMETHODCALLTYPE add_ScriptDialogOpening(Unused,
                                                            EventRegistrationToken*) = 0;    // 21
  virtual HRESULT STDMETHODCALLTYPE remove_ScriptDialogOpening(EventRegistrationToken) = 0;  // 22
  virtual HRESULT STDMETHODCALLTYPE add_PermissionRequested(Unused,
                                                            EventRegistrationToken*) = 0;    // 23
  virtual HRESULT STDMETHODCALLTYPE remove_PermissionRequested(EventRegistrationToken) = 0;  // 24
  virtual HRESULT STDMETHODCALLTYPE
  add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* handler,
                    EventRegistrationToken* token) = 0;                                // 25
  virtual HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken) = 0;  // 26
  virtual HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR javaScript,
      ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) = 0;        // 27
  virtual HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) = 0;  // 28
  virtual HRESULT STDMETHODCALLTYPE
  ExecuteScript(LPCWSTR javaScript, ICoreWebView2ExecuteScriptCompletedHandler* handler) = 0;  // 29
  virtual HRESULT STDMETHODCALLTYPE CapturePreview(int format, IStream* stream, Unused) = 0;   // 30
  virtual HRESULT STDMETHODCALLTYPE Reload() = 0;                                              // 31
  virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR json) = 0;                    // 32
  virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR text) = 0;                  // 33
  // Messages of the top-level document only.
  virtual HRESULT STDMETHODCALLTYPE
  add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                         EventRegistrationToken* token) = 0;                                   // 34
  virtual HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken) = 0;     // 35
  virtual HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(LPCWSTR, LPCWSTR, Unused) = 0;  // 36
  virtual HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* value) = 0;                   // 37
  virtual HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL* canGoBack) = 0;                        // 38
  virtual HRESULT STDMETHODCALLTYPE get_CanGoForward(BOOL* canGoForward) = 0;                  // 39
  virtual HRESULT STDMETHODCALLTYPE GoBack() = 0;                                              // 40
  virtual HRESULT STDMETHODCALLTYPE GoForward() = 0;                                           // 41
  virtual HRESULT STDMETHODCALLTYPE GetDevToolsProtocolEventReceiver(LPCWSTR, Unused*) = 0;    // 42
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;                                                // 43
  // window.open and links with a target of their own, from the page and its frames.
  virtual HRESULT STDMETHODCALLTYPE
  add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* handler,
                         EventRegistrationToken* token) = 0;  // 44
};

// The loader's entry point (stdcall on 32-bit Windows, like every COM call). Any argument but the
// handler may be null: the default browser, a user-data folder beside the executable, no options.
using CreateEnvironmentWithOptionsFunction = HRESULT(STDAPICALLTYPE*)(
    LPCWSTR browserExecutableFolder, LPCWSTR userDataFolder, IUnknown* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);
inline constexpr char kCreateEnvironmentWithOptionsName[] =
    "CreateCoreWebView2EnvironmentWithOptions";
inline constexpr wchar_t kLoaderFileName[] = L"WebView2Loader.dll";

}  // namespace webview2

#pragma GCC diagnostic pop
