// Every WebView2 method the launcher declares (platform/win32/webview2_api.h) sits at the slot
// Microsoft's SDK gives it (platform/win32/webview2_sdk.h), read two ways: from the declarations
// themselves, and from where the launcher's calls land in the stand-in runtime, whose objects are
// laid out from the SDK's numbers. Identifiers and calling conventions are checked at compile time
// (platform/win32/webview2_api_check.cpp).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/web_window.h"
#include "platform/win32/message_pump.h"
#include "platform/win32/webview2_api.h"
#include "platform/win32/webview2_sdk.h"
#include "platform/window.h"
#include "tests/win32/fake_webview2/fake_webview2.h"

namespace {

// The table slot a pointer to a virtual member function names. GCC (mingw-w64 included) follows
// the Itanium C++ ABI: such a pointer holds 1 plus the byte offset of the method's entry in the
// object's table of functions. -1 when the method is not virtual.
template <typename Pointer>
int SlotOf(Pointer method) {
  static_assert(sizeof(Pointer) == 2 * sizeof(std::uintptr_t));
  std::uintptr_t parts[2];
  std::memcpy(parts, &method, sizeof(parts));
  if ((parts[0] & 1) == 0) return -1;
  return static_cast<int>((parts[0] - 1) / sizeof(void*));
}

struct Pin {
  const char* interfaceName;
  const char* method;
  int declared;
  int sdk;
};

const Pin kPins[] = {
#define VELMORA_PIN(interface, method, slot) \
  {#interface, #method, SlotOf(&webview2::interface::method), slot},
    VELMORA_WEBVIEW2_SLOTS(VELMORA_PIN)
#undef VELMORA_PIN
};

bool Handler(const Pin& pin) {
  return std::string(pin.interfaceName).find("Handler") != std::string::npos;
}

TEST(WebView2Declarations, EveryMethodIsDeclaredAtTheSdksSlot) {
  for (const Pin& pin : kPins)
    EXPECT_EQ(pin.declared, pin.sdk) << pin.interfaceName << "::" << pin.method;
}

void DispatchFor(DWORD milliseconds) {
  webview2::PumpMessagesUntil([] { return false; }, milliseconds);
}

TEST(WebView2Declarations, TheRuntimeReceivesEveryCallAtTheSdksSlot) {
  FakeWebView2Reset(S_OK, S_OK, S_OK);
  // A runtime too old for the launcher is asked for its version.
  FakeWebView2SetOldRuntime(TRUE);
  std::string oldRuntimeError;
  EXPECT_EQ(platform::WebWindow::Create(true, oldRuntimeError), nullptr);
  DispatchFor(100);
  FakeWebView2SetOldRuntime(FALSE);
  {
    std::string error;
    auto window = platform::WebWindow::Create(true, error);
    ASSERT_TRUE(window) << error;
    window->Bind("api_x", [](const std::string&) { return std::string("1"); });
    window->SetHtml("<p></p>");
    webview2::PumpMessagesUntil([] { return *FakeWebView2DocumentSource() != L'\0'; }, 10000);
    // Everything the launcher calls in a session: a call answered, a move and focus, a refused
    // navigation, a new window, a failed process.
    const std::string bridge = [] {
      const std::wstring script = FakeWebView2Text(kFakeDocumentScript, 0);
      return std::string(script.begin(), script.end());
    }();
    const std::string token = bridge.substr(bridge.find("const token = \"") + 15, 32);
    const std::wstring call = L"{\"token\":\"" + std::wstring(token.begin(), token.end()) +
                              L"\",\"id\":1,\"name\":\"api_x\",\"args\":\"[]\"}";
    ASSERT_TRUE(FakeWebView2PostWebMessage(call.c_str()));
    const HWND hwnd = static_cast<HWND>(window->Window());
    platform::PlaceWindow(hwnd, 10, 20, 640, 480);
    SendMessageW(hwnd, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(FakeWebView2Navigate(L"https://evil.example/", TRUE), 1);
    EXPECT_EQ(FakeWebView2RequestNewWindow(L"ms-settings:network", TRUE), 1);
    EXPECT_TRUE(FakeWebView2FailProcess(2));  // unresponsive: the window stays
    DispatchFor(300);
  }
  for (const Pin& pin : kPins) {
    EXPECT_GT(FakeWebView2SlotCalls(pin.interfaceName, pin.sdk), 0)
        << (Handler(pin) ? "the runtime could not call " : "no call arrived at ")
        << pin.interfaceName << "::" << pin.method << " (slot " << pin.sdk << ")";
  }
  for (int i = 0; i < FakeWebView2WrongCallCount(); ++i)
    ADD_FAILURE() << "a call the SDK does not have there: " << FakeWebView2WrongCall(i);
  EXPECT_EQ(FakeWebView2LiveObjects(), 0);
}

}  // namespace
