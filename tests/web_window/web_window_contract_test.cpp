// What every engine's web window does with the page's calls: the same suite runs against WebKitGTK
// on Linux and against WebView2 (its stand-in runtime) under wine.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/web_window.h"
#include "tests/launcher/support/log_lines.h"
#include "tests/web_window/page_driver.h"

namespace {

using nlohmann::json;
using platform::WebWindow;
using testing::ElementsAre;
using testing_support::CallOutcome;
using namespace std::chrono_literals;

CallOutcome Resolved(json value) {
  return {true, std::move(value), ""};
}

CallOutcome Rejected(const std::string& message) {
  return {false, nullptr, message};
}

class WebWindowContract : public testing::Test {
 protected:
  void SetUp() override {
    driver_ = testing_support::MakePageDriver();
    std::string error;
    window_ = WebWindow::Create(false, error);
    ASSERT_TRUE(window_) << error;
  }

  void TearDown() override {
    window_.reset();
    if (driver_) driver_->ExpectCleanedUp();
  }

  CallOutcome OutcomeOf(int key) {
    const std::optional<CallOutcome> outcome = driver_->WaitForOutcome(key, 20s);
    return outcome ? *outcome : Rejected("<the page got no answer>");
  }

  std::unique_ptr<testing_support::PageDriver> driver_;
  std::unique_ptr<WebWindow> window_;
};

TEST_F(WebWindowContract, RepliesArriveParsedAndRequestsArriveAsTheArgumentText) {
  std::vector<std::string> requests;
  window_->Bind("echo", [&requests](const std::string& request) {
    requests.push_back(request);
    return R"({"got":)" + request + "}";
  });
  const struct {
    const char* reply;
    CallOutcome seen;
  } replies[] = {
      {R"({"list":[1,2.5,"quote \" here"],"none":null,"yes":true})",
       Resolved(json::parse(R"({"list":[1,2.5,"quote \" here"],"none":null,"yes":true})"))},
      {"\"caf\xC3\xA9\"", Resolved("caf\u00e9")},
      {"\"a\xFF"
       "b\"",
       Resolved("a\ufffdb")},  // bytes that are not UTF-8 arrive replaced
      {"\"</script>\\u2028\"", Resolved("</script>\u2028")},
      {"true", Resolved(true)},
  };
  for (std::size_t i = 0; i < std::size(replies); ++i) {
    const std::string reply = replies[i].reply;
    window_->Bind("reply" + std::to_string(i), [reply](const std::string&) { return reply; });
  }
  driver_->LoadPage(*window_);

  driver_->Call(1, "echo", R"([1,"two",{"three":[true,null]}])");
  driver_->Call(2, "echo", "[]");
  for (std::size_t i = 0; i < std::size(replies); ++i)
    driver_->Call(static_cast<int>(10 + i), "reply" + std::to_string(i), "[]");

  EXPECT_EQ(OutcomeOf(1), Resolved(json::parse(R"({"got":[1,"two",{"three":[true,null]}]})")));
  EXPECT_EQ(OutcomeOf(2), Resolved(json::parse(R"({"got":[]})")));
  EXPECT_THAT(requests, ElementsAre(R"([1,"two",{"three":[true,null]}])", "[]"));
  for (std::size_t i = 0; i < std::size(replies); ++i)
    EXPECT_EQ(OutcomeOf(static_cast<int>(10 + i)), replies[i].seen) << replies[i].reply;
}

TEST_F(WebWindowContract, AReplyThatIsNotJsonRejectsWithTheParseError) {
  const char* notJson[] = {"ok then", "", R"({"open":)", R"({"message": "say "hi""})"};
  for (std::size_t i = 0; i < std::size(notJson); ++i) {
    const std::string reply = notJson[i];
    window_->Bind("bad" + std::to_string(i), [reply](const std::string&) { return reply; });
  }
  driver_->LoadPage(*window_);
  for (std::size_t i = 0; i < std::size(notJson); ++i)
    driver_->Call(static_cast<int>(i), "bad" + std::to_string(i), "[]");
  for (std::size_t i = 0; i < std::size(notJson); ++i) {
    EXPECT_EQ(OutcomeOf(static_cast<int>(i)), Rejected("Failed to parse binding result as JSON"))
        << notJson[i];
  }
}

TEST_F(WebWindowContract, AFunctionThatThrowsRejectsWithItsTextIsLoggedAndTheBridgeGoesOn) {
  testing_support::LogCapture log;
  log.Start();
  window_->Bind("explode", [](const std::string&) -> std::string {
    throw std::runtime_error("disk on fire");
  });
  window_->Bind("calm", [](const std::string&) { return std::string("7"); });
  driver_->LoadPage(*window_);

  driver_->Call(1, "explode", "[]");
  EXPECT_EQ(OutcomeOf(1), Rejected("disk on fire"));
  driver_->Call(2, "calm", "[]");
  EXPECT_EQ(OutcomeOf(2), Resolved(7));
  EXPECT_THAT(testing_support::LinesUntilNow(log),
              ElementsAre("E|WebWindow: Bound function explode failed: disk on fire"));
}

TEST_F(WebWindowContract, AnUnknownNameRejectsThePromise) {
  driver_->LoadPage(*window_);
  driver_->Call(4, "api_missing", "[]");
  EXPECT_EQ(OutcomeOf(4), Rejected("Not a bound function"));
}

TEST_F(WebWindowContract, CallsRunOneAtATimeInTheOrderThePageMadeThem) {
  std::vector<std::string> events;
  int depth = 0;
  int deepest = 0;
  window_->Bind("slow", [&](const std::string& request) {
    ++depth;
    deepest = std::max(deepest, depth);
    const int number = json::parse(request).at(0).get<int>();
    events.push_back("slow " + std::to_string(number) + " starts");
    // The page calls again while this call shows a dialog (a nested message loop).
    if (number == 0) driver_->Call(9, "quick", "[]");
    driver_->RunFor(100ms);
    events.push_back("slow " + std::to_string(number) + " ends");
    --depth;
    return std::to_string(number);
  });
  window_->Bind("quick", [&](const std::string&) {
    events.push_back("quick");
    return std::string("\"q\"");
  });
  driver_->LoadPage(*window_);

  for (int i = 0; i < 3; ++i)
    driver_->Call(i, "slow", "[" + std::to_string(i) + "]");
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(OutcomeOf(i), Resolved(i));
  EXPECT_EQ(OutcomeOf(9), Resolved("q"));
  EXPECT_THAT(events, ElementsAre("slow 0 starts", "slow 0 ends", "slow 1 starts", "slow 1 ends",
                                  "slow 2 starts", "slow 2 ends", "quick"));
  EXPECT_EQ(deepest, 1);
}

TEST_F(WebWindowContract, MessagesWithoutTheWindowsTokenCallNothing) {
  int calls = 0;
  window_->Bind("api_count", [&calls](const std::string&) {
    ++calls;
    return std::to_string(calls);
  });
  driver_->LoadPage(*window_);
  const char* forgeries[] = {
      R"({"id":1,"name":"api_count","args":"[]"})",
      R"({"token":"0123","id":2,"name":"api_count","args":"[]"})",
      R"({"token":5,"id":3,"name":"api_count","args":"[]"})",
      R"({"token":null,"drag":true})",
      R"("api_count")",
      R"([1,2])",
      R"("not json")",
  };
  for (const char* forged : forgeries)
    driver_->PostRaw(forged);
  // Messages arrive in the order the page posted them: once this call is answered, every forgery
  // before it has been looked at.
  driver_->Call(7, "api_count", "[]");
  EXPECT_EQ(OutcomeOf(7), Resolved(1));
  EXPECT_EQ(calls, 1);
}

}  // namespace
