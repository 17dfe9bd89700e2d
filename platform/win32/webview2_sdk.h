// The WebView2 numbers the launcher depends on, written down from Microsoft's WebView2.idl and
// the WebView2.h generated from it (SDK 1.0.3415; the interfaces below are among those published
// with SDK 1.0.622 or 1.0.864, and a published COM interface never changes, so every later SDK
// has the same numbers). Nothing here is derived from webview2_api.h: the declarations there are
// checked against these numbers (webview2_api_check.cpp at compile time, the web window's tests at
// run time), and the stand-in runtime of the tests lays out its objects from them.
//
// A slot is a method's index in its interface's table of functions: QueryInterface, AddRef and
// Release of IUnknown take 0 to 2, then the interface's own methods follow in the order the IDL
// declares them (a continuation interface such as ICoreWebView2Settings3 goes on after the
// interfaces it extends).
#pragma once

// X(interface, method, slot) for every method the launcher calls or implements.
#define VELMORA_WEBVIEW2_SLOTS(X)                                                \
  X(ICoreWebView2Environment, CreateCoreWebView2Controller, 3)                   \
  X(ICoreWebView2Environment, get_BrowserVersionString, 5)                       \
  X(ICoreWebView2Controller, put_IsVisible, 4)                                   \
  X(ICoreWebView2Controller, put_Bounds, 6)                                      \
  X(ICoreWebView2Controller, MoveFocus, 12)                                      \
  X(ICoreWebView2Controller, NotifyParentWindowPositionChanged, 23)              \
  X(ICoreWebView2Controller, Close, 24)                                          \
  X(ICoreWebView2Controller, get_CoreWebView2, 25)                               \
  X(ICoreWebView2, get_Settings, 3)                                              \
  X(ICoreWebView2, get_Source, 4)                                                \
  X(ICoreWebView2, NavigateToString, 6)                                          \
  X(ICoreWebView2, add_NavigationStarting, 7)                                    \
  X(ICoreWebView2, add_ContentLoading, 9)                                        \
  X(ICoreWebView2, add_ProcessFailed, 25)                                        \
  X(ICoreWebView2, AddScriptToExecuteOnDocumentCreated, 27)                      \
  X(ICoreWebView2, ExecuteScript, 29)                                            \
  X(ICoreWebView2, add_WebMessageReceived, 34)                                   \
  X(ICoreWebView2, add_NewWindowRequested, 44)                                   \
  X(ICoreWebView2Settings, put_IsWebMessageEnabled, 6)                           \
  X(ICoreWebView2Settings, put_IsStatusBarEnabled, 10)                           \
  X(ICoreWebView2Settings, put_AreDevToolsEnabled, 12)                           \
  X(ICoreWebView2Settings, put_AreDefaultContextMenusEnabled, 14)                \
  X(ICoreWebView2Settings, put_IsZoomControlEnabled, 18)                         \
  X(ICoreWebView2Settings3, put_AreBrowserAcceleratorKeysEnabled, 24)            \
  X(ICoreWebView2WebMessageReceivedEventArgs, get_Source, 3)                     \
  X(ICoreWebView2WebMessageReceivedEventArgs, get_WebMessageAsJson, 4)           \
  X(ICoreWebView2ProcessFailedEventArgs, get_ProcessFailedKind, 3)               \
  X(ICoreWebView2NavigationStartingEventArgs, get_Uri, 3)                        \
  X(ICoreWebView2NavigationStartingEventArgs, put_Cancel, 8)                     \
  X(ICoreWebView2NewWindowRequestedEventArgs, get_Uri, 3)                        \
  X(ICoreWebView2NewWindowRequestedEventArgs, put_Handled, 6)                    \
  X(ICoreWebView2NewWindowRequestedEventArgs, get_IsUserInitiated, 8)            \
  X(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, Invoke, 3)       \
  X(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, Invoke, 3)        \
  X(ICoreWebView2WebMessageReceivedEventHandler, Invoke, 3)                      \
  X(ICoreWebView2ProcessFailedEventHandler, Invoke, 3)                           \
  X(ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, Invoke, 3) \
  X(ICoreWebView2ExecuteScriptCompletedHandler, Invoke, 3)                       \
  X(ICoreWebView2NavigationStartingEventHandler, Invoke, 3)                      \
  X(ICoreWebView2ContentLoadingEventHandler, Invoke, 3)                          \
  X(ICoreWebView2NewWindowRequestedEventHandler, Invoke, 3)

// X(interface, IID text) for every interface the launcher implements (the runtime may ask a
// handler for it) or asks the runtime for.
#define VELMORA_WEBVIEW2_IIDS(X)                                                         \
  X(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,                          \
    "4e8a3389-c9d8-4bd2-b6b5-124fee6cc14d")                                              \
  X(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,                           \
    "6c4819f3-c9b7-4260-8127-c9f5bde7f68c")                                              \
  X(ICoreWebView2WebMessageReceivedEventHandler, "57213f19-00e6-49fa-8e07-898ea01ecbd2") \
  X(ICoreWebView2ProcessFailedEventHandler, "79e0aea4-990b-42d9-aa1d-0fcc2e5bc7f1")      \
  X(ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler,                    \
    "b99369f3-9b11-47b5-bc6f-8e7895fcea17")                                              \
  X(ICoreWebView2ExecuteScriptCompletedHandler, "49511172-cc67-4bca-9923-137112f4c4cc")  \
  X(ICoreWebView2NavigationStartingEventHandler, "9adbe429-f36d-432b-9ddc-f8881fbd76e3") \
  X(ICoreWebView2ContentLoadingEventHandler, "364471e7-f2be-4910-bdba-d72077d51c4b")     \
  X(ICoreWebView2NewWindowRequestedEventHandler, "d4c185fe-c81c-4989-97af-2d3fa7ab5651") \
  X(ICoreWebView2Settings3, "fdb5ab74-af33-4854-84f0-0a631deb5eba")

namespace webview2::sdk {

// slot::ICoreWebView2_NavigateToString and so on.
namespace slot {
#define VELMORA_WEBVIEW2_SLOT_CONSTANT(interface, method, number) \
  inline constexpr int interface##_##method = number;
VELMORA_WEBVIEW2_SLOTS(VELMORA_WEBVIEW2_SLOT_CONSTANT)
#undef VELMORA_WEBVIEW2_SLOT_CONSTANT
}  // namespace slot

// The parts of a GUID, read from its text form at compile time.
struct Guid {
  unsigned long data1;
  unsigned short data2;
  unsigned short data3;
  unsigned char data4[8];
};

namespace detail {
constexpr unsigned HexDigit(char c) {
  return c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
         : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
         : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                : throw "not a hexadecimal digit";
}
constexpr unsigned long Hex(const char* text, int from, int digits) {
  unsigned long value = 0;
  for (int i = 0; i < digits; ++i)
    value = value * 16 + HexDigit(text[from + i]);
  return value;
}
}  // namespace detail

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" as its parts.
constexpr Guid ParseGuid(const char (&text)[37]) {
  using detail::Hex;
  if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') {
    throw "not a GUID";
  }
  Guid guid{static_cast<unsigned long>(Hex(text, 0, 8)),
            static_cast<unsigned short>(Hex(text, 9, 4)),
            static_cast<unsigned short>(Hex(text, 14, 4)),
            {}};
  const int bytes[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i)
    guid.data4[i] = static_cast<unsigned char>(Hex(text, bytes[i], 2));
  return guid;
}

// iid::ICoreWebView2Settings3 and so on.
namespace iid {
#define VELMORA_WEBVIEW2_IID_CONSTANT(interface, text) \
  inline constexpr Guid interface = ParseGuid(text);
VELMORA_WEBVIEW2_IIDS(VELMORA_WEBVIEW2_IID_CONSTANT)
#undef VELMORA_WEBVIEW2_IID_CONSTANT
}  // namespace iid

}  // namespace webview2::sdk
