// Holds the WebView2 declarations of webview2_api.h to the SDK at compile time, in every Windows
// build, the 32-bit product's included: each interface identifier the launcher answers for or asks
// for is the SDK's (webview2_sdk.h), and each method the launcher calls or implements, and the
// loader's entry point, has the SDK's parameters and the stdcall convention of COM. On 32-bit
// Windows a method that lost STDMETHODCALLTYPE would be thiscall: its caller and the runtime would
// disagree on who removes the arguments, and the launcher would crash on the first call.
//
// Which slot each method takes cannot be read at compile time; the web window's tests hold every
// method's slot to webview2_sdk.h at run time (tests/web_window/webview2_declarations_test.cpp,
// and the stand-in runtime, which lays out its objects from the SDK's numbers).
#include <type_traits>

#include "platform/win32/webview2_api.h"
#include "platform/win32/webview2_sdk.h"

namespace webview2 {

namespace {

constexpr bool SameGuid(const IID& declared, const sdk::Guid& sdk) {
  if (declared.Data1 != sdk.data1 || declared.Data2 != sdk.data2 || declared.Data3 != sdk.data3) {
    return false;
  }
  for (int i = 0; i < 8; ++i) {
    if (declared.Data4[i] != sdk.data4[i]) return false;
  }
  return true;
}

#define VELMORA_CHECK_IID(interface, text)                      \
  static_assert(SameGuid(interface::kIid, sdk::iid::interface), \
                #interface "'s identifier is not the SDK's " text);
VELMORA_WEBVIEW2_IIDS(VELMORA_CHECK_IID)
#undef VELMORA_CHECK_IID

// interface::method must be exactly `HRESULT __stdcall (interface::*)(parameters)`.
#define VELMORA_CHECK_METHOD(interface, method, ...)                                               \
  static_assert(                                                                                   \
      std::is_same_v<decltype(&interface::method), HRESULT (__stdcall interface::*)(__VA_ARGS__)>, \
      #interface "::" #method " does not have the SDK's parameters or is not stdcall");

VELMORA_CHECK_METHOD(ICoreWebView2Environment, CreateCoreWebView2Controller, HWND,
                     ICoreWebView2CreateCoreWebView2ControllerCompletedHandler*)
VELMORA_CHECK_METHOD(ICoreWebView2Environment, get_BrowserVersionString, LPWSTR*)
VELMORA_CHECK_METHOD(ICoreWebView2Controller, put_IsVisible, BOOL)
VELMORA_CHECK_METHOD(ICoreWebView2Controller, put_Bounds, RECT)
VELMORA_CHECK_METHOD(ICoreWebView2Controller, MoveFocus, int)
VELMORA_CHECK_METHOD(ICoreWebView2Controller, NotifyParentWindowPositionChanged)
VELMORA_CHECK_METHOD(ICoreWebView2Controller, Close)
VELMORA_CHECK_METHOD(ICoreWebView2Controller, get_CoreWebView2, ICoreWebView2**)
VELMORA_CHECK_METHOD(ICoreWebView2, get_Settings, ICoreWebView2Settings**)
VELMORA_CHECK_METHOD(ICoreWebView2, get_Source, LPWSTR*)
VELMORA_CHECK_METHOD(ICoreWebView2, NavigateToString, LPCWSTR)
VELMORA_CHECK_METHOD(ICoreWebView2, add_NavigationStarting,
                     ICoreWebView2NavigationStartingEventHandler*, EventRegistrationToken*)
VELMORA_CHECK_METHOD(ICoreWebView2, add_ContentLoading, ICoreWebView2ContentLoadingEventHandler*,
                     EventRegistrationToken*)
VELMORA_CHECK_METHOD(ICoreWebView2, add_ProcessFailed, ICoreWebView2ProcessFailedEventHandler*,
                     EventRegistrationToken*)
VELMORA_CHECK_METHOD(ICoreWebView2, AddScriptToExecuteOnDocumentCreated, LPCWSTR,
                     ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler*)
VELMORA_CHECK_METHOD(ICoreWebView2, ExecuteScript, LPCWSTR,
                     ICoreWebView2ExecuteScriptCompletedHandler*)
VELMORA_CHECK_METHOD(ICoreWebView2, add_WebMessageReceived,
                     ICoreWebView2WebMessageReceivedEventHandler*, EventRegistrationToken*)
VELMORA_CHECK_METHOD(ICoreWebView2, add_NewWindowRequested,
                     ICoreWebView2NewWindowRequestedEventHandler*, EventRegistrationToken*)
VELMORA_CHECK_METHOD(ICoreWebView2Settings, put_IsWebMessageEnabled, BOOL)
VELMORA_CHECK_METHOD(ICoreWebView2Settings, put_IsStatusBarEnabled, BOOL)
VELMORA_CHECK_METHOD(ICoreWebView2Settings, put_AreDevToolsEnabled, BOOL)
VELMORA_CHECK_METHOD(ICoreWebView2Settings, put_AreDefaultContextMenusEnabled, BOOL)
VELMORA_CHECK_METHOD(ICoreWebView2Settings, put_IsZoomControlEnabled, BOOL)
VELMORA_CHECK_METHOD(ICoreWebView2Settings3, put_AreBrowserAcceleratorKeysEnabled, BOOL)
VELMORA_CHECK_METHOD(ICoreWebView2WebMessageReceivedEventArgs, get_Source, LPWSTR*)
VELMORA_CHECK_METHOD(ICoreWebView2WebMessageReceivedEventArgs, get_WebMessageAsJson, LPWSTR*)
VELMORA_CHECK_METHOD(ICoreWebView2ProcessFailedEventArgs, get_ProcessFailedKind, int*)
VELMORA_CHECK_METHOD(ICoreWebView2NavigationStartingEventArgs, get_Uri, LPWSTR*)
VELMORA_CHECK_METHOD(ICoreWebView2NavigationStartingEventArgs, put_Cancel, BOOL)
VELMORA_CHECK_METHOD(ICoreWebView2NewWindowRequestedEventArgs, get_Uri, LPWSTR*)
VELMORA_CHECK_METHOD(ICoreWebView2NewWindowRequestedEventArgs, put_Handled, BOOL)
VELMORA_CHECK_METHOD(ICoreWebView2NewWindowRequestedEventArgs, get_IsUserInitiated, BOOL*)
VELMORA_CHECK_METHOD(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, Invoke, HRESULT,
                     ICoreWebView2Environment*)
VELMORA_CHECK_METHOD(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, Invoke, HRESULT,
                     ICoreWebView2Controller*)
VELMORA_CHECK_METHOD(ICoreWebView2WebMessageReceivedEventHandler, Invoke, ICoreWebView2*,
                     ICoreWebView2WebMessageReceivedEventArgs*)
VELMORA_CHECK_METHOD(ICoreWebView2ProcessFailedEventHandler, Invoke, ICoreWebView2*,
                     ICoreWebView2ProcessFailedEventArgs*)
VELMORA_CHECK_METHOD(ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, Invoke,
                     HRESULT, LPCWSTR)
VELMORA_CHECK_METHOD(ICoreWebView2ExecuteScriptCompletedHandler, Invoke, HRESULT, LPCWSTR)
VELMORA_CHECK_METHOD(ICoreWebView2NavigationStartingEventHandler, Invoke, ICoreWebView2*,
                     ICoreWebView2NavigationStartingEventArgs*)
VELMORA_CHECK_METHOD(ICoreWebView2ContentLoadingEventHandler, Invoke, ICoreWebView2*,
                     ICoreWebView2ContentLoadingEventArgs*)
VELMORA_CHECK_METHOD(ICoreWebView2NewWindowRequestedEventHandler, Invoke, ICoreWebView2*,
                     ICoreWebView2NewWindowRequestedEventArgs*)
#undef VELMORA_CHECK_METHOD

// The loader's entry point, as GetProcAddress hands it over.
static_assert(std::is_same_v<
                  CreateEnvironmentWithOptionsFunction,
                  HRESULT(__stdcall*)(LPCWSTR, LPCWSTR, IUnknown*,
                                      ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*)>,
              "CreateCoreWebView2EnvironmentWithOptions does not have the SDK's parameters or is "
              "not stdcall");

}  // namespace

}  // namespace webview2
