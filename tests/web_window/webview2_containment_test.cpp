// The launcher's page keeps its WebView2 window: the stand-in runtime raises what a hostile or
// broken Info page would make the real one raise (NavigationStarting for top.location or a
// target=_top link, NewWindowRequested for window.open or target=_blank, a message from another
// document) and the test reads the launcher's answers: cancelled, handled, the address handed to
// the browser. The browser is wine's: ShellExecuteW hands web addresses to winebrowser, which is
// told to run a recording script instead of a real browser.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/web_window.h"
#include "platform/win32/message_pump.h"
#include "tests/launcher/support/log_lines.h"
#include "tests/win32/fake_webview2/fake_webview2.h"

namespace {

using platform::WebWindow;
using testing::ElementsAre;
using testing::UnorderedElementsAre;

void DispatchUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
  webview2::PumpMessagesUntil(done, timeoutMs);
}

bool DocumentShown() {
  return *FakeWebView2DocumentSource() != L'\0';
}

// wine's winebrowser runs the programs its "Browsers" setting names; for the test that is a script
// that writes each address it gets into a file beside itself (BROWSER_RECORDER, made by the build).
class RecordingBrowser {
 public:
  RecordingBrowser() {
    std::remove(OutputPath().c_str());
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                    nullptr);
    const std::wstring recorder = Utf8ToUtf16(BROWSER_RECORDER);
    RegSetValueExW(key_, L"Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(recorder.c_str()),
                   static_cast<DWORD>((recorder.size() + 1) * sizeof(wchar_t)));
  }
  ~RecordingBrowser() {
    RegDeleteValueW(key_, L"Browsers");
    RegCloseKey(key_);
  }

  // Runs the window's loop until `count` addresses arrived (or 10 s passed) and returns them.
  std::vector<std::string> Opened(std::size_t count) const {
    std::vector<std::string> lines;
    DispatchUntil([&] {
      lines.clear();
      std::ifstream in(OutputPath());
      for (std::string line; std::getline(in, line);)
        lines.push_back(line);
      return lines.size() >= count;
    });
    return lines;
  }

 private:
  static constexpr wchar_t kKey[] = L"Software\\Wine\\WineBrowser";
  // The script's folder as wine shows the Linux root.
  static std::string OutputPath() {
    const std::string script = BROWSER_RECORDER;
    return "Z:" + script.substr(0, script.rfind('/')) + "/opened-urls";
  }

  HKEY key_ = nullptr;
};

class WebView2ContainmentTest : public testing::Test {
 protected:
  void SetUp() override {
    log_.Start();
    FakeWebView2Reset(S_OK, S_OK, S_OK);
    std::string error;
    window_ = WebWindow::Create(true, error);
    ASSERT_TRUE(window_) << error;
    window_->Bind("api_startGame", [this](const std::string&) {
      ++gameStarts_;
      return std::string("true");
    });
    window_->SetHtml("<p>launcher</p>");
    DispatchUntil(DocumentShown);
    ASSERT_EQ(std::wstring(FakeWebView2DocumentSource()), L"about:blank");
    std::smatch match;
    const std::string bridge = Utf16ToUtf8(FakeWebView2Text(kFakeDocumentScript, 0));
    ASSERT_TRUE(std::regex_search(bridge, match, std::regex("const token = \"([0-9a-f]+)\";")));
    token_ = match[1];
  }

  void TearDown() override {
    window_.reset();
    webview2::PumpMessagesUntil([] { return false; }, 100);
    EXPECT_EQ(FakeWebView2LiveObjects(), 0);
    EXPECT_EQ(FakeWebView2HeldHandlers(), 0);
    for (int i = 0; i < FakeWebView2WrongCallCount(); ++i)
      ADD_FAILURE() << "a call the SDK does not have there: " << FakeWebView2WrongCall(i);
  }

  std::wstring StartGameCall(int id) const {
    const nlohmann::json call = {
        {"token", token_}, {"id", id}, {"name", "api_startGame"}, {"args", "[]"}};
    return Utf8ToUtf16(call.dump().c_str());
  }

  // Runs the window's loop until the page has had the answer to call `id`.
  bool Answered(int id) {
    const std::wstring settle = L"settle(" + std::to_wstring(id) + L",";
    bool answered = false;
    DispatchUntil(
        [&] {
          for (int i = 0; i < FakeWebView2TextCount(kFakeExecutedScript) && !answered; ++i)
            answered = std::wstring(FakeWebView2Text(kFakeExecutedScript, i)).find(settle) !=
                       std::wstring::npos;
          return answered;
        },
        2000);
    return answered;
  }

  testing_support::LogCapture log_;
  std::unique_ptr<WebWindow> window_;
  std::string token_;
  int gameStarts_ = 0;
};

TEST_F(WebView2ContainmentTest, EveryTopLevelNavigationAfterThePageIsCancelled) {
  const struct {
    const wchar_t* uri;
    BOOL userInitiated;
  } navigations[] = {
      {L"https://evil.example/", TRUE},             // a target=_top link the player clicked
      {L"https://evil.example/?by=script", FALSE},  // top.location from the frame
      {L"about:blank", FALSE},
      {L"data:text/html;charset=utf-8;base64,PHA+PC9wPg==", FALSE},  // like the page's own
      {L"file:///C:/Windows/win.ini", TRUE},
  };
  for (const auto& navigation : navigations) {
    EXPECT_EQ(FakeWebView2Navigate(navigation.uri, navigation.userInitiated), 1)
        << Utf16ToUtf8(navigation.uri) << " was not cancelled";
  }
  webview2::PumpMessagesUntil([] { return false; }, 200);
  EXPECT_EQ(std::wstring(FakeWebView2DocumentSource()), L"about:blank");
  EXPECT_EQ(FakeWebView2TextCount(kFakeNavigatedHtml), 1) << "the page was not loaded again";
  EXPECT_THAT(testing_support::LinesUntilNow(log_),
              ElementsAre("E|WebWindow: Refused navigation of the launcher window to "
                          "https://evil.example/",
                          "E|WebWindow: Refused navigation of the launcher window to "
                          "https://evil.example/?by=script",
                          "E|WebWindow: Refused navigation of the launcher window to about:blank",
                          "E|WebWindow: Refused navigation of the launcher window to "
                          "data:text/html;charset=utf-8;base64,PHA+PC9wPg==",
                          "E|WebWindow: Refused navigation of the launcher window to "
                          "file:///C:/Windows/win.ini"));
}

TEST_F(WebView2ContainmentTest, NoWindowOpensInsideTheLauncherAndClickedWebLinksGoToTheBrowser) {
  RecordingBrowser browser;
  const struct {
    const wchar_t* uri;
    BOOL userInitiated;
  } requests[] = {
      {L"https://velmora.example/news?id=7&lang=en", TRUE},  // target=_blank, clicked
      {L"https://ads.example/", FALSE},                      // window.open from a timer
      {L"javascript:alert(1)", TRUE},
      {L"file:///C:/Windows/System32/calc.exe", TRUE},
      {L"ms-settings:network", TRUE},
      {L"http://127.0.0.1:47611/mini/more", TRUE},
  };
  for (const auto& request : requests) {
    EXPECT_EQ(FakeWebView2RequestNewWindow(request.uri, request.userInitiated), 1)
        << Utf16ToUtf8(request.uri) << " would open a window";
  }
  EXPECT_THAT(browser.Opened(2), UnorderedElementsAre("https://velmora.example/news?id=7&lang=en",
                                                      "http://127.0.0.1:47611/mini/more"));
  EXPECT_THAT(testing_support::LinesUntilNow(log_),
              ElementsAre("E|WebWindow: Refused a new window for https://ads.example/",
                          "E|WebWindow: Refused a new window for javascript:alert(1)",
                          "E|WebWindow: Refused a new window for "
                          "file:///C:/Windows/System32/calc.exe",
                          "E|WebWindow: Refused a new window for ms-settings:network",
                          // then, from the window's loop, the browser
                          "I|WebWindow: Opened https://velmora.example/news?id=7&lang=en in the "
                          "default browser",
                          "I|WebWindow: Opened http://127.0.0.1:47611/mini/more in the default "
                          "browser"));
}

TEST_F(WebView2ContainmentTest, OnlyTheLaunchersOwnDocumentReachesTheBoundFunctions) {
  for (const wchar_t* source : {L"https://evil.example/", L"about:srcdoc", L""}) {
    EXPECT_TRUE(FakeWebView2PostWebMessageFrom(StartGameCall(1).c_str(), source));
  }
  EXPECT_FALSE(Answered(1));
  EXPECT_EQ(gameStarts_, 0);
  EXPECT_TRUE(FakeWebView2PostWebMessage(StartGameCall(2).c_str()));
  EXPECT_TRUE(Answered(2));
  EXPECT_EQ(gameStarts_, 1);
  EXPECT_THAT(
      testing_support::LinesUntilNow(log_),
      ElementsAre(
          "E|WebWindow: Refused a message from https://evil.example/, which is not the "
          "launcher's page",
          "E|WebWindow: Refused a message from about:srcdoc, which is not the launcher's page",
          "E|WebWindow: Refused a message from , which is not the launcher's page"));
}

TEST_F(WebView2ContainmentTest, AForeignDocumentThatGetsInIsNotAnsweredAndThePageComesBack) {
  // The runtime shows another document without asking (it never should).
  ASSERT_TRUE(FakeWebView2ShowDocument(L"https://evil.example/"));
  EXPECT_TRUE(FakeWebView2PostWebMessageFrom(StartGameCall(1).c_str(), L"https://evil.example/"));
  EXPECT_FALSE(Answered(1));
  // The launcher loaded its page again, and that page is answered.
  DispatchUntil([] { return std::wstring(FakeWebView2DocumentSource()) == L"about:blank"; });
  ASSERT_EQ(FakeWebView2TextCount(kFakeNavigatedHtml), 2);
  EXPECT_EQ(std::wstring(FakeWebView2Text(kFakeNavigatedHtml, 1)), L"<p>launcher</p>");
  EXPECT_TRUE(FakeWebView2PostWebMessage(StartGameCall(2).c_str()));
  EXPECT_TRUE(Answered(2));
  EXPECT_EQ(gameStarts_, 1);
  EXPECT_THAT(testing_support::LinesUntilNow(log_),
              ElementsAre("E|WebWindow: The launcher's page was replaced by "
                          "https://evil.example/; loading it again",
                          "E|WebWindow: Refused a message from https://evil.example/, which is "
                          "not the launcher's page"));
}

}  // namespace
