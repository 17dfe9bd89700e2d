// The web window on WebKitGTK with real pages in a real view on a private X display: what only a
// real engine shows (scripts in place when the page starts, arguments as the page's JSON.stringify
// wrote them, a window dragged by its page). Each page reports what it saw through a bound
// function "finish", which closes the window.
#include "platform/web_window.h"

#include <glib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <thread>

#include "tests/launcher/support/child_process.h"
#include "tests/launcher/support/log_lines.h"
#include "tests/launcher/support/x11_windows.h"
#include "tests/launcher/support/xvfb_display.h"

namespace {

using nlohmann::json;
using platform::WebWindow;
using testing::ElementsAre;
using namespace std::chrono_literals;

std::string Page(const std::string& head, const std::string& body) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\">" + head + "</head><body>" + body +
         "</body></html>";
}

// Wraps a page script: runs it once the document is parsed and hands its result (or the text of
// its failure) to finish().
std::string Script(const std::string& body) {
  return "<script>document.addEventListener('DOMContentLoaded', async () => {"
         "  let result; try { " +
         body +
         " } catch (e) { result = {failed: String(e)}; }"
         "  finish(result);"
         "});</script>";
}

class WebKitWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    testing_support::SharedDisplay();
    std::string error;
    window_ = WebWindow::Create(false, error);
    ASSERT_TRUE(window_) << error;
    window_->Bind("finish", [this](const std::string& request) {
      finished_ = json::parse(request).at(0);
      platform::PostCloseWindow(window_->Window());
      return std::string("true");
    });
  }

  // Loads `html`, runs the loop until the page calls finish() (at most `limit`) and returns what
  // the page passed to it.
  json Run(const std::string& html, std::chrono::seconds limit = 30s) {
    window_->SetHtml(html);
    const guint guard = g_timeout_add_seconds(
        static_cast<guint>(limit.count()),
        [](gpointer window) {
          platform::PostCloseWindow(window);
          return G_SOURCE_REMOVE;
        },
        window_->Window());
    window_->Run();
    if (!finished_.is_null()) g_source_remove(guard);
    return finished_;
  }

  std::unique_ptr<WebWindow> window_;
  json finished_;
};

TEST_F(WebKitWindowTest, ArgumentsArriveAsThePagesJsonStringifyWroteThem) {
  std::vector<std::string> requests;
  window_->Bind("echo", [&](const std::string& request) {
    requests.push_back(request);
    return request;
  });

  const json seen = Run(Page(Script(R"(
      result = {
        echoed: await echo(1, "two", {three: [true, null]}, undefined),
        empty: await echo(),
      };)"),
                             ""));

  EXPECT_THAT(requests, ElementsAre(R"([1,"two",{"three":[true,null]},null])", "[]"));
  EXPECT_EQ(seen, json::parse(R"({"echoed": [1, "two", {"three": [true, null]}, null],
                                  "empty": []})"));
}

TEST_F(WebKitWindowTest, NamesExistWhenThePageScriptStartsInTheTopFrameOnly) {
  window_->Bind("probe", [](const std::string&) { return std::string("1"); });
  // The first script of the page runs before anything else of it; the frame reports through its
  // parent, since finish() is not its own.
  const json seen =
      Run(Page("<script>window.early = typeof probe;</script>",
               "<iframe srcdoc=\"<script>parent.inFrame = typeof window.probe;</script>\">"
               "</iframe>" +
                   Script("await new Promise((r) => setTimeout(r, 200));"
                          "result = {early: window.early, inFrame: window.inFrame,"
                          "          value: await probe()};")));
  EXPECT_EQ(seen, json::parse(R"({"early": "function", "inFrame": "undefined", "value": 1})"));
}

// Presses the primary button at (x, y), drags by (dx, dy) and releases, the way a player would.
void DragOnScreen(int x, int y, int dx, int dy) {
  using testing_support::RunCommand;
  RunCommand({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "mousedown", "1"});
  std::this_thread::sleep_for(300ms);
  for (int step = 1; step <= 4; ++step) {
    RunCommand({"xdotool", "mousemove", std::to_string(x + dx * step / 4),
                std::to_string(y + dy * step / 4)});
    std::this_thread::sleep_for(50ms);
  }
  RunCommand({"xdotool", "mouseup", "1"});
  std::this_thread::sleep_for(300ms);
}

TEST_F(WebKitWindowTest, ElementsDeclaredAsDragRegionMoveTheWindow) {
  platform::MakeBorderless(window_->Window());
  window_->SetTitle("drag test");
  window_->SetSize(400, 300, platform::SizeHint::Fixed);
  platform::PlaceWindow(window_->Window(), 100, 100, 400, 300);

  std::vector<testing_support::WindowGeometry> positions;
  std::thread player;
  window_->Bind("ready", [&](const std::string&) {
    player = std::thread([&] {
      const auto found = testing_support::FindWindowByTitle("drag test", 10s);
      if (!found) return;
      positions.push_back(testing_support::GetWindowGeometry(*found));
      DragOnScreen(150, 115, 100, 60);  // on the title text: moves
      positions.push_back(testing_support::GetWindowGeometry(*found));
      DragOnScreen(530, 180, 50, 50);  // on the button inside the bar: stays
      positions.push_back(testing_support::GetWindowGeometry(*found));
      DragOnScreen(300, 300, 50, 50);  // on the undeclared body: stays
      positions.push_back(testing_support::GetWindowGeometry(*found));
      g_idle_add(
          [](gpointer window) {
            platform::PostCloseWindow(window);
            return G_SOURCE_REMOVE;
          },
          window_->Window());
    });
    return std::string("true");
  });

  window_->SetHtml(
      Page("<style>\n"
           "  /* a comment { -webkit-app-region: no-drag } */\n"
           "  body { margin: 0; height: 300px; background: #123; }\n"
           "  .bar { height: 40px; background: #000; -webkit-app-region: drag; }\n"
           "  .bar button { position: absolute; left: 300px; top: 5px; width: 60px; height: 30px;\n"
           "                -webkit-app-region: no-drag; }\n"
           "</style>",
           "<div class=\"bar\"><span>Title</span><button>x</button></div>"
           "<script>document.addEventListener('DOMContentLoaded', () => ready());</script>"));
  window_->Run();
  if (player.joinable()) player.join();

  ASSERT_EQ(positions.size(), 4u);
  EXPECT_EQ(positions[0].x, 100);
  EXPECT_EQ(positions[0].y, 100);
  EXPECT_EQ(positions[1].x, 200);
  EXPECT_EQ(positions[1].y, 160);
  for (std::size_t i = 2; i < positions.size(); ++i) {
    EXPECT_EQ(positions[i].x, 200) << i;
    EXPECT_EQ(positions[i].y, 160) << i;
  }
}

}  // namespace
