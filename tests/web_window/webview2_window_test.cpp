// The web window on WebView2, against the stand-in runtime of tests/win32/fake_webview2: what only
// this engine has (start-up and its failures, the window's size and the view's bounds, when the
// scripts are in place and where calls run, closing and clean-up). What every engine does with the
// page's calls is the contract suite's. The program sits in a folder of its own beside that
// WebView2Loader.dll, which is what the window loads.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/web_engine.h"
#include "platform/web_window.h"
#include "platform/win32/message_pump.h"
#include "platform/win32/webview2_api.h"
#include "platform/window.h"
#include "tests/support/log_capture.h"
#include "tests/win32/fake_webview2/fake_webview2.h"

namespace {

using platform::WebWindow;

std::wstring Text(int kind, int index) {
  return FakeWebView2Text(kind, index);
}

std::vector<std::wstring> Texts(int kind) {
  std::vector<std::wstring> texts;
  for (int i = 0; i < FakeWebView2TextCount(kind); ++i)
    texts.push_back(Text(kind, i));
  return texts;
}

// Lets pending completions of the fake run.
void DispatchFor(DWORD milliseconds) {
  webview2::PumpMessagesUntil([] { return false; }, milliseconds);
}

HWND Hwnd(const WebWindow& window) {
  return static_cast<HWND>(window.Window());
}

// The window's secret, as its bridge script carries it.
std::string TokenOf(const std::wstring& bridgeScript) {
  std::smatch match;
  const std::string script = Utf16ToUtf8(bridgeScript.c_str());
  if (!std::regex_search(script, match, std::regex("const token = \"([0-9a-f]+)\";"))) return {};
  return match[1];
}

std::wstring CallMessage(const std::string& token, int id, const std::string& name,
                         const std::string& argsJsonText) {
  std::string escaped;
  for (char c : argsJsonText) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  const std::string json = "{\"token\":\"" + token + "\",\"id\":" + std::to_string(id) +
                           ",\"name\":\"" + name + "\",\"args\":\"" + escaped + "\"}";
  return Utf8ToUtf16(json.c_str());
}

class WebWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { FakeWebView2Reset(S_OK, S_OK, S_OK); }

  void TearDown() override {
    window_.reset();
    DispatchFor(100);
    EXPECT_EQ(FakeWebView2LiveObjects(), 0) << "the runtime's objects were not all released";
    EXPECT_EQ(FakeWebView2HeldHandlers(), 0) << "handlers still registered with the runtime";
    EXPECT_TRUE(FakeWebView2CallsOnStartingThread());
    EXPECT_EQ(FindWindowW(L"VelmoraWebWindow", nullptr), nullptr) << "a window was left behind";
    for (int i = 0; i < FakeWebView2WrongCallCount(); ++i)
      ADD_FAILURE() << "a call the SDK does not have there: " << FakeWebView2WrongCall(i);
  }

  WebWindow& Start(bool debug = true) {
    std::string error;
    window_ = WebWindow::Create(debug, error);
    if (!window_) throw std::runtime_error("Create failed: " + error);
    return *window_;
  }

  std::unique_ptr<WebWindow> window_;
};

TEST_F(WebWindowTest, StartsAHiddenWindowHostingTheView) {
  WebWindow& window = Start();
  const HWND hwnd = Hwnd(window);
  ASSERT_TRUE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindowVisible(hwnd)) << "shown before the caller could style and place it";
  EXPECT_EQ(FakeWebView2ParentWindow(), hwnd);
  EXPECT_TRUE(FakeWebView2Visible());
  EXPECT_TRUE(FakeWebView2DevToolsEnabled());
  RECT client{};
  GetClientRect(hwnd, &client);
  const RECT bounds = FakeWebView2Bounds();
  EXPECT_EQ(bounds.right - bounds.left, client.right);
  EXPECT_EQ(bounds.bottom - bounds.top, client.bottom);

  // The program folder may be read-only: the engine keeps its data under the user's profile.
  const std::wstring folder = Text(kFakeUserDataFolder, 0);
  EXPECT_NE(folder.find(L"\\Velmora\\Launcher\\WebView2"), std::wstring::npos) << folder.c_str();
  EXPECT_NE(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(WebWindowTest, DeveloperToolsFollowTheDebugSwitch) {
  Start(false);
  EXPECT_FALSE(FakeWebView2DevToolsEnabled());
}

TEST_F(WebWindowTest, TheViewIsAnApplicationsNotABrowsers) {
  for (const bool debug : {true, false}) {
    FakeWebView2Reset(S_OK, S_OK, S_OK);
    Start(debug);
    const struct {
      const char* setting;
      int value;
    } settings[] = {
        {"AreBrowserAcceleratorKeysEnabled", 0},  // no reload, print, find, history keys
        {"IsZoomControlEnabled", 0},              // the page is laid out for 800 x 600
        {"IsStatusBarEnabled", 0},
        {"IsWebMessageEnabled", 1},
        {"AreDefaultContextMenusEnabled", debug ? 1 : 0},  // "Inspect" with the developer tools
    };
    for (const auto& expected : settings)
      EXPECT_EQ(FakeWebView2Setting(expected.setting), expected.value) << expected.setting;
    window_.reset();
  }
}

TEST_F(WebWindowTest, ARuntimeTooOldGivesNoWindowAndNamesTheVersionItNeeds) {
  FakeWebView2SetOldRuntime(TRUE);
  std::string error;
  EXPECT_EQ(WebWindow::Create(true, error), nullptr);
  EXPECT_EQ(error,
            "the WebView2 Runtime on this computer (90.0.818.66) is too old; the launcher needs "
            "version 91.0.864.35 or later");
}

struct StartFailure {
  HRESULT create, environment, controller;
  const char* reason;
};

class WebWindowStartFailureTest : public ::testing::TestWithParam<StartFailure> {};

TEST_P(WebWindowStartFailureTest, GivesNoWindowAndSaysWhy) {
  FakeWebView2Reset(GetParam().create, GetParam().environment, GetParam().controller);
  std::string error;
  EXPECT_EQ(WebWindow::Create(true, error), nullptr);
  EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
  DispatchFor(100);
  EXPECT_EQ(FindWindowW(L"VelmoraWebWindow", nullptr), nullptr);
  EXPECT_EQ(FakeWebView2LiveObjects(), 0);
  EXPECT_EQ(FakeWebView2HeldHandlers(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    RuntimeFailures, WebWindowStartFailureTest,
    ::testing::Values(StartFailure{HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), S_OK, S_OK,
                                   "the WebView2 runtime is not installed (0x80070002)"},
                      StartFailure{S_OK, E_FAIL, S_OK,
                                   "the WebView2 runtime could not be started (0x80004005)"},
                      StartFailure{S_OK, S_OK, E_ACCESSDENIED,
                                   "the WebView2 browser view could not be created (0x80070005)"}));

TEST_F(WebWindowTest, FixedSizeCannotBeChangedAndTheViewFollowsTheWindow) {
  WebWindow& window = Start();
  const HWND hwnd = Hwnd(window);
  window.SetSize(800, 600, platform::SizeHint::Fixed);
  RECT client{};
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 600);
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
  RECT outer{};
  GetWindowRect(hwnd, &outer);
  MINMAXINFO limits{};
  SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMinTrackSize.x, outer.right - outer.left);
  EXPECT_EQ(limits.ptMaxTrackSize.x, outer.right - outer.left);
  EXPECT_EQ(limits.ptMinTrackSize.y, outer.bottom - outer.top);
  EXPECT_EQ(limits.ptMaxTrackSize.y, outer.bottom - outer.top);

  // As the launcher does next: no frame, then its final place and size.
  platform::MakeBorderless(hwnd);
  platform::PlaceWindow(hwnd, 10, 20, 640, 480);
  const RECT bounds = FakeWebView2Bounds();
  EXPECT_EQ(bounds.right - bounds.left, 640);
  EXPECT_EQ(bounds.bottom - bounds.top, 480);
}

TEST_F(WebWindowTest, ScriptsAreInPlaceBeforeThePageLoadsAndCallsRunFromTheWindowsLoop) {
  WebWindow& window = Start();
  std::vector<std::string> requests;
  window.Bind("api_echo", [&requests](const std::string& request) {
    requests.push_back(request);
    return "{\"got\":" + request + "}";
  });
  window.SetHtml("<p>caf\xc3\xa9</p>");

  // Every script is in place before the page loads, so the names exist when its script starts.
  ASSERT_EQ(FakeWebView2TextCount(kFakeNavigatedHtml), 1);
  EXPECT_EQ(Text(kFakeNavigatedHtml, 0), L"<p>caf\u00e9</p>");
  EXPECT_EQ(FakeWebView2ScriptsPendingAtNavigation(), 0);
  const std::vector<std::wstring> scripts = Texts(kFakeDocumentScript);
  ASSERT_EQ(scripts.size(), 3u);  // the bridge, the drag regions, the one bound name
  EXPECT_NE(scripts[0].find(L"window.chrome.webview.postMessage"), std::wstring::npos);
  EXPECT_NE(scripts[2].find(L"window[\"api_echo\"]"), std::wstring::npos);
  const std::string token = TokenOf(scripts[0]);
  ASSERT_EQ(token.size(), 32u);

  // Calls run from the window's own loop, not inside the runtime's event.
  webview2::PumpMessagesUntil([] { return *FakeWebView2DocumentSource() != L'\0'; }, 10000);
  ASSERT_TRUE(FakeWebView2PostWebMessage(CallMessage(token, 7, "api_echo", "[1,\"a\"]").c_str()));
  EXPECT_TRUE(requests.empty());
  platform::PostCloseWindow(window.Window());
  window.Run();

  ASSERT_EQ(requests, std::vector<std::string>{"[1,\"a\"]"});
  ASSERT_EQ(FakeWebView2TextCount(kFakeExecutedScript), 1);
  EXPECT_EQ(Text(kFakeExecutedScript, 0),
            L"window.__velmoraBridge && window.__velmoraBridge.settle(7, true, "
            L"\"{\\\"got\\\":[1,\\\"a\\\"]}\");");
}

// Looks at the window from inside its message loop, then closes it.
HWND runningWindow = nullptr;
bool visibleWhileRunning = false;

void CALLBACK LookAndClose(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  visibleWhileRunning = IsWindowVisible(runningWindow) != FALSE;
  platform::PostCloseWindow(runningWindow);
}

TEST_F(WebWindowTest, RunShowsTheWindowAndReturnsOnceItIsClosed) {
  WebWindow& window = Start();
  runningWindow = Hwnd(window);
  visibleWhileRunning = false;
  SetTimer(nullptr, 0, 0, LookAndClose);
  window.Run();
  EXPECT_TRUE(visibleWhileRunning);
  EXPECT_EQ(window.Window(), nullptr);
  EXPECT_FALSE(IsWindow(runningWindow));
  EXPECT_TRUE(FakeWebView2ControllerClosed());
}

TEST_F(WebWindowTest, ClosingWithoutRunLeavesNoQuitMessageBehind) {
  Start();
  window_.reset();
  MSG message;
  // A WM_QUIT left here would end the next message loop of the thread (a dialog's) at once.
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_TRUE(FakeWebView2ControllerClosed());
}

TEST_F(WebWindowTest, AnEngineProcessThatDiesClosesTheWindow) {
  testing_support::LogCapture viewer;
  viewer.Start();
  WebWindow& window = Start();
  const HWND hwnd = Hwnd(window);
  ASSERT_TRUE(FakeWebView2FailProcess(webview2::kRenderProcessUnresponsive));
  DispatchFor(50);
  EXPECT_TRUE(IsWindow(hwnd)) << "a page that hangs may recover";

  ASSERT_TRUE(FakeWebView2FailProcess(webview2::kRenderProcessExited));
  window.Run();  // returns: the window closed itself
  EXPECT_FALSE(IsWindow(hwnd));
  const std::vector<testing_support::LogMessage> lines = viewer.Messages(1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].bytes.find("|E|WebWindow["), std::string::npos);
  EXPECT_NE(lines[0].bytes.find("]: Web page process ended unexpectedly (reason 1)\r\n"),
            std::string::npos);
}

// Engine events that fail the way any code may: by throwing.
class ThrowingEvents final : public platform::WebEngineEvents {
 public:
  void OnPageMessage(const std::string&, const std::string&) override {}
  bool OnTopLevelNavigation(const std::string&) override { return false; }
  void OnDocumentShown(const std::string&) override {}
  void OnNewWindowRequested(const std::string&, bool) override {}
  void OnCallsScheduled() override {
    ++calls;
    throw std::runtime_error("out of luck");
  }
  void OnPageProcessEnded(int) override {}
  void OnWindowClosed() override {}

  int calls = 0;
};

TEST_F(WebWindowTest, AnExceptionInTheWindowProcedureIsLoggedAndGoesNoFurther) {
  testing_support::LogCapture viewer;
  viewer.Start();
  ThrowingEvents events;
  std::string error;
  std::unique_ptr<platform::WebEngine> engine = platform::CreateWebEngine(true, events, error);
  ASSERT_TRUE(engine) << error;
  for (int round = 1; round <= 2; ++round) {
    engine->ScheduleCalls();  // the window procedure calls OnCallsScheduled
    EXPECT_NO_THROW(DispatchFor(200));
    EXPECT_EQ(events.calls, round) << "the window stopped taking messages";
  }
  EXPECT_TRUE(IsWindow(static_cast<HWND>(engine->Window())));
  engine.reset();
  const std::vector<testing_support::LogMessage> lines = viewer.Messages(2);
  ASSERT_EQ(lines.size(), 2u);
  for (const auto& line : lines) {
    EXPECT_NE(line.bytes.find("|E|WebWindow["), std::string::npos) << line.bytes;
    EXPECT_NE(line.bytes.find("]: Window message 0x8001 failed: out of luck\r\n"),
              std::string::npos)
        << line.bytes;
  }
}

}  // namespace
