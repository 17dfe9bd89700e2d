// The page as the stand-in WebView2 runtime (tests/win32/fake_webview2) plays it: calls are posted
// as the bridge script would post them, with the window's token, and what the page sees is read
// from the settle scripts the window runs, decoded as the bridge script decodes them.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "platform/text.h"
#include "platform/web_page_scripts.h"
#include "platform/win32/message_pump.h"
#include "tests/web_window/page_driver.h"
#include "tests/win32/fake_webview2/fake_webview2.h"

namespace testing_support {

namespace {

std::string Utf8(const wchar_t* text) {
  return Utf16ToUtf8(text);
}

// The window's secret, as its bridge script carries it.
std::string TokenOf(const std::string& bridgeScript) {
  std::smatch match;
  if (!std::regex_search(bridgeScript, match, std::regex("const token = \"([0-9a-f]+)\";"))) {
    return {};
  }
  return match[1];
}

// What the page's promise becomes when the settle script `script` runs; nothing when the script
// settles another call.
std::optional<CallOutcome> Settled(const std::string& script, int key) {
  static const std::regex settle(R"(settle\((\d+), (true|false), (".*")\);$)");
  std::smatch match;
  if (!std::regex_search(script, match, settle) || std::stoi(match[1]) != key) return std::nullopt;
  const std::string text = nlohmann::json::parse(match[3].str()).get<std::string>();
  if (match[2] == "false") return CallOutcome{false, nullptr, text};
  const nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
  if (value.is_discarded()) {
    return CallOutcome{false, nullptr, "Failed to parse binding result as JSON"};
  }
  return CallOutcome{true, value, ""};
}

class WebView2PageDriver final : public PageDriver {
 public:
  void LoadPage(platform::WebWindow& window) override {
    window.SetHtml("<p>page</p>");
    // The page is the launcher's once the runtime has reported its document.
    webview2::PumpMessagesUntil([] { return *FakeWebView2DocumentSource() != L'\0'; }, 10000);
    ASSERT_GE(FakeWebView2TextCount(kFakeDocumentScript), 1);
    token_ = TokenOf(Utf8(FakeWebView2Text(kFakeDocumentScript, 0)));
    ASSERT_EQ(token_.size(), 32u);
  }

  void Call(int key, const std::string& name, const std::string& args) override {
    const nlohmann::json message = {{"token", token_}, {"id", key}, {"name", name}, {"args", args}};
    EXPECT_TRUE(FakeWebView2PostWebMessage(Utf8ToUtf16(message.dump().c_str()).c_str()));
  }

  void PostRaw(const std::string& json) override {
    EXPECT_TRUE(FakeWebView2PostWebMessage(Utf8ToUtf16(json.c_str()).c_str()));
  }

  std::optional<CallOutcome> WaitForOutcome(int key, std::chrono::milliseconds timeout) override {
    std::optional<CallOutcome> outcome;
    webview2::PumpMessagesUntil(
        [&] {
          for (int i = 0; i < FakeWebView2TextCount(kFakeExecutedScript) && !outcome; ++i)
            outcome = Settled(Utf8(FakeWebView2Text(kFakeExecutedScript, i)), key);
          return outcome.has_value();
        },
        static_cast<DWORD>(timeout.count()));
    return outcome;
  }

  void RunFor(std::chrono::milliseconds duration) override {
    webview2::PumpMessagesUntil([] { return false; }, static_cast<DWORD>(duration.count()));
  }

  void ExpectCleanedUp() override {
    RunFor(std::chrono::milliseconds(100));
    EXPECT_EQ(FakeWebView2LiveObjects(), 0) << "the runtime's objects were not all released";
    EXPECT_EQ(FakeWebView2HeldHandlers(), 0) << "handlers still registered with the runtime";
    EXPECT_TRUE(FakeWebView2CallsOnStartingThread());
    EXPECT_EQ(FindWindowW(L"VelmoraWebWindow", nullptr), nullptr) << "a window was left behind";
    for (int i = 0; i < FakeWebView2WrongCallCount(); ++i)
      ADD_FAILURE() << "a call the SDK does not have there: " << FakeWebView2WrongCall(i);
  }

 private:
  std::string token_;
};

}  // namespace

std::unique_ptr<PageDriver> MakePageDriver() {
  FakeWebView2Reset(S_OK, S_OK, S_OK);
  return std::make_unique<WebView2PageDriver>();
}

}  // namespace testing_support
