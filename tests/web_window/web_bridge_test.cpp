// The bridge core without a browser engine: an engine that only records what the core asks of it
// shows which messages become calls, which navigations and windows are let through, and what is
// logged, on every platform.
#include "platform/web_bridge.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/web_page_scripts.h"
#include "tests/launcher/support/log_lines.h"

namespace {

using platform::PageMessage;
using platform::ParsePageMessage;
using platform::WebBridge;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr char kToken[] = "00112233445566778899aabbccddeeff";

class RecordingEngine final : public platform::WebEngine {
 public:
  platform::NativeWindow Window() const override { return nullptr; }
  void SetTitle(const std::string&) override {}
  void SetSize(int, int, platform::SizeHint) override {}
  std::string PostFunction() const override { return "(message) => record(message)"; }
  void AddDocumentScript(const std::string& script) override { documentScripts.push_back(script); }
  void LoadHtml(const std::string& html) override { loaded.push_back(html); }
  void RunScript(const std::string& script) override { ranScripts.push_back(script); }
  void TrustAuthorityFor(const std::string&, const std::string&) override {}
  void ScheduleCalls() override { ++scheduled; }
  void StartDrag() override { ++drags; }
  void Run() override {}

  std::vector<std::string> documentScripts;
  std::vector<std::string> loaded;
  std::vector<std::string> ranScripts;
  int scheduled = 0;
  int drags = 0;
};

std::string Call(int id, const std::string& name, const std::string& token = kToken) {
  return nlohmann::json{{"token", token}, {"id", id}, {"name", name}, {"args", "[]"}}.dump();
}

TEST(PageMessages, OnlyWellFormedMessagesWithTheTokenCount) {
  const struct {
    const char* json;
    bool accepted;
    PageMessage::Kind kind;
  } cases[] = {
      {R"({"token":"00112233445566778899aabbccddeeff","id":7,"name":"f","args":"[1]"})", true,
       PageMessage::Kind::Call},
      {R"({"token":"00112233445566778899aabbccddeeff","drag":true})", true,
       PageMessage::Kind::Drag},
      {R"({"token":"00112233445566778899aabbccddeeff","drag":false})", false, {}},
      {R"({"token":"00112233445566778899aabbccddeeff","id":-1,"name":"f","args":"[]"})", false, {}},
      {R"({"token":"00112233445566778899aabbccddeeff","id":1.5,"name":"f","args":"[]"})",
       false,
       {}},
      {R"({"token":"00112233445566778899aabbccddeeff","id":1,"name":3,"args":"[]"})", false, {}},
      {R"({"token":"00112233445566778899aabbccddeeff","id":1,"name":"f","args":[]})", false, {}},
      {R"({"token":"00112233445566778899aabbccddeeff","id":1,"name":"f"})", false, {}},
      {R"({"token":"00112233445566778899AABBCCDDEEFF","id":1,"name":"f","args":"[]"})", false, {}},
      {R"({"id":1,"name":"f","args":"[]"})", false, {}},
      {R"(["00112233445566778899aabbccddeeff"])", false, {}},
      {R"({"token":"00112233445566778899aabbccddeeff","id":1,"name":"f","args":"[])", false, {}},
      {"", false, {}},
  };
  for (const auto& message : cases) {
    const auto parsed = ParsePageMessage(message.json, kToken);
    EXPECT_EQ(parsed.has_value(), message.accepted) << message.json;
    if (parsed && message.accepted) {
      EXPECT_EQ(parsed->kind, message.kind) << message.json;
    }
  }
  const auto call = ParsePageMessage(
      R"({"token":"00112233445566778899aabbccddeeff","id":18446744073709551615,"name":"f","args":"[\"a\"]"})",
      kToken);
  ASSERT_TRUE(call);
  EXPECT_EQ(call->call.id, 18446744073709551615u);
  EXPECT_EQ(call->call.name, "f");
  EXPECT_EQ(call->call.request, R"(["a"])");
}

TEST(NewWindows, OnlyWebAddressesThePlayerAskedForGoToTheBrowser) {
  const struct {
    const char* uri;
    bool userInitiated;
    bool opens;
  } cases[] = {
      {"https://velmora.example/news", true, true},
      {"http://127.0.0.1:47611/mini/more", true, true},
      {"HTTPS://VELMORA.EXAMPLE/", true, true},
      {"https://velmora.example/news", false, false},  // a script alone: a pop-up
      {"javascript:alert(1)", true, false},
      {"file:///C:/Windows/System32/calc.exe", true, false},
      {"ms-settings:network", true, false},
      {"data:text/html,<p>x</p>", true, false},
      {"about:blank", true, false},
      {"httpx://velmora.example/", true, false},
      {"http:velmora.example", true, false},
      {"", true, false},
  };
  for (const auto& window : cases) {
    EXPECT_EQ(platform::OpensInBrowser(window.uri, window.userInitiated), window.opens)
        << window.uri << (window.userInitiated ? " (clicked)" : " (script)");
  }
}

class WebBridgeTest : public testing::Test {
 protected:
  void SetUp() override { log_.Start(); }

  // Loads the launcher's page and lets its document arrive at `source`.
  void ShowOwnPage(const std::string& source = "about:blank") {
    bridge_.LoadOwnPage("<p>launcher</p>");
    EXPECT_TRUE(bridge_.OnTopLevelNavigation("data:text/html,launcher"));
    bridge_.OnDocumentShown(source);
  }

  std::vector<std::string> Lines() { return testing_support::LinesUntilNow(log_); }

  testing_support::LogCapture log_;
  RecordingEngine engine_;
  std::vector<std::string> opened_;
  bool openerWorks_ = true;
  WebBridge bridge_{engine_, kToken, [this](const std::string& url) {
                      opened_.push_back(url);
                      return openerWorks_;
                    }};
};

TEST_F(WebBridgeTest, PutsTheBridgeDragAndBindingScriptsIntoEveryDocument) {
  bridge_.Bind("api_one", [](const std::string&) { return std::string("1"); });
  bridge_.Bind("api_one", [](const std::string&) { return std::string("2"); });
  bridge_.Bind("api_two", [](const std::string&) { return std::string("3"); });
  const std::string post = engine_.PostFunction();
  EXPECT_THAT(engine_.documentScripts,
              ElementsAre(platform::web_page::BridgeScript(kToken, post),
                          platform::web_page::DragRegionScript(kToken, post),
                          platform::web_page::BindingScript("api_one"),
                          platform::web_page::BindingScript("api_two")));
}

TEST_F(WebBridgeTest, OnlyTheLaunchersOwnDocumentIsAnswered) {
  int calls = 0;
  bridge_.Bind("api_startGame", [&calls](const std::string&) {
    ++calls;
    return std::string("true");
  });
  bridge_.OnPageMessage(Call(1, "api_startGame"), "about:blank");  // before the page is there
  ShowOwnPage();
  bridge_.OnPageMessage(Call(2, "api_startGame"), "https://evil.example/");
  bridge_.OnPageMessage(Call(3, "api_startGame"), "");
  bridge_.OnPageMessage(Call(4, "api_startGame", "guess"), "about:blank");  // silently
  bridge_.OnPageMessage(Call(5, "api_startGame"), "about:blank");
  bridge_.RunQueuedCalls();

  EXPECT_EQ(calls, 1);
  EXPECT_THAT(engine_.ranScripts, ElementsAre(platform::web_page::ResolveScript(5, "true")));
  EXPECT_THAT(
      Lines(),
      ElementsAre("E|WebWindow: Refused a message from about:blank, which is not the "
                  "launcher's page",
                  "E|WebWindow: Refused a message from https://evil.example/, which is "
                  "not the launcher's page",
                  "E|WebWindow: Refused a message from , which is not the launcher's page"));
}

TEST_F(WebBridgeTest, EveryTopLevelNavigationAfterTheLaunchersPageIsRefused) {
  ShowOwnPage();
  for (const char* uri : {"https://evil.example/", "about:blank", "data:text/html,x",
                          "file:///etc/passwd", "data:text/html,launcher"}) {
    EXPECT_FALSE(bridge_.OnTopLevelNavigation(uri)) << uri;
  }
  EXPECT_THAT(
      Lines(),
      ElementsAre("E|WebWindow: Refused navigation of the launcher window to https://evil.example/",
                  "E|WebWindow: Refused navigation of the launcher window to about:blank",
                  "E|WebWindow: Refused navigation of the launcher window to data:text/html,x",
                  "E|WebWindow: Refused navigation of the launcher window to file:///etc/passwd",
                  "E|WebWindow: Refused navigation of the launcher window to "
                  "data:text/html,launcher"));
  // The launcher loading its own page again is its own navigation.
  bridge_.LoadOwnPage("<p>again</p>");
  EXPECT_TRUE(bridge_.OnTopLevelNavigation("data:text/html,again"));
  EXPECT_FALSE(bridge_.OnTopLevelNavigation("https://evil.example/"));
}

TEST_F(WebBridgeTest, AForeignDocumentThatGetsInIsNeverAnsweredAndThePageComesBack) {
  int calls = 0;
  bridge_.Bind("api_startGame", [&calls](const std::string&) {
    ++calls;
    return std::string("true");
  });
  ShowOwnPage();
  bridge_.OnDocumentShown("about:blank");  // same address, another document
  bridge_.OnPageMessage(Call(1, "api_startGame"), "about:blank");
  EXPECT_THAT(engine_.loaded, ElementsAre("<p>launcher</p>")) << "not inside the engine's event";
  bridge_.RunQueuedCalls();
  EXPECT_EQ(calls, 0);
  EXPECT_THAT(engine_.loaded, ElementsAre("<p>launcher</p>", "<p>launcher</p>"));
  EXPECT_THAT(Lines(), ElementsAre("E|WebWindow: The launcher's page was replaced by about:blank; "
                                   "loading it again",
                                   "E|WebWindow: Refused a message from about:blank, which is not "
                                   "the launcher's page"));

  // The reloaded page is the launcher's again.
  EXPECT_TRUE(bridge_.OnTopLevelNavigation("data:text/html,launcher"));
  bridge_.OnDocumentShown("about:blank");
  bridge_.OnPageMessage(Call(2, "api_startGame"), "about:blank");
  bridge_.RunQueuedCalls();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(engine_.loaded.size(), 2u);
}

TEST_F(WebBridgeTest, NewWindowsGoToTheBrowserOrNowhere) {
  ShowOwnPage();
  bridge_.OnNewWindowRequested("https://velmora.example/news", true);
  bridge_.OnNewWindowRequested("https://ads.example/", false);
  bridge_.OnNewWindowRequested("file:///C:/x.exe", true);
  EXPECT_THAT(opened_, IsEmpty()) << "not inside the engine's event";
  bridge_.RunQueuedCalls();
  openerWorks_ = false;
  bridge_.OnNewWindowRequested("http://velmora.example/", true);
  bridge_.RunQueuedCalls();
  EXPECT_THAT(opened_, ElementsAre("https://velmora.example/news", "http://velmora.example/"));
  EXPECT_THAT(Lines(),
              ElementsAre("E|WebWindow: Refused a new window for https://ads.example/",
                          "E|WebWindow: Refused a new window for file:///C:/x.exe",
                          "I|WebWindow: Opened https://velmora.example/news in the default browser",
                          "E|WebWindow: Could not open http://velmora.example/ in the default "
                          "browser"));
  EXPECT_THAT(engine_.loaded, ElementsAre("<p>launcher</p>")) << "the page stays";
}

TEST_F(WebBridgeTest, ADragRequestStartsAMoveAndACallWaitsForTheLoop) {
  bridge_.Bind("api_x", [](const std::string&) { return std::string("1"); });
  ShowOwnPage();
  bridge_.OnPageMessage(R"({"token":"00112233445566778899aabbccddeeff","drag":true})",
                        "about:blank");
  EXPECT_EQ(engine_.drags, 1);
  bridge_.OnPageMessage(Call(1, "api_x"), "about:blank");
  EXPECT_EQ(engine_.scheduled, 1);
  EXPECT_THAT(engine_.ranScripts, IsEmpty()) << "calls run from the loop, not inside the message";
  bridge_.RunQueuedCalls();
  EXPECT_THAT(engine_.ranScripts, ElementsAre(platform::web_page::ResolveScript(1, "1")));
}

}  // namespace
