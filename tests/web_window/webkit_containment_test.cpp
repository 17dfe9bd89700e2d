// The launcher's page keeps its window on WebKitGTK: an Info page served from loopback, in a frame
// of the launcher's page, tries what a hostile or broken page would (top.location, window.open,
// links with target=_top and target=_blank, scripted and clicked by the player, calling the bound
// functions from the frame); the launcher's page stays, no window opens inside the launcher, the
// bound function is never called, and the one link the player clicked open goes to the browser
// (a recording xdg-open on PATH stands in for the player's).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <httplib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/web_window.h"
#include "tests/launcher/support/child_process.h"
#include "tests/launcher/support/log_lines.h"
#include "tests/launcher/support/xvfb_display.h"
#include "tests/support/temp_dir.h"
#include "tests/web_window/webkit_page.h"
#include "tools/patchserver/server.h"

namespace {

using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;
using namespace std::chrono_literals;

// The Info page: scripted attempts first, then two links for the player to click.
constexpr char kInfoPage[] = R"html(<!DOCTYPE html>
<html><head><style>
  body { margin: 0; background: #eee; }
  a { position: absolute; left: 20px; width: 300px; height: 40px; display: block; background: #ccc; }
</style></head><body>
<a id="top" href="/evil" target="_top" style="top: 20px">replace the launcher</a>
<a id="blank" href="/popup" target="_blank" style="top: 100px">read more</a>
<script>
// Reports go out without waiting: a navigation of the top document stops the frame's loads.
const report = (what, value) =>
    fetch('/report?' + what + '=' + encodeURIComponent(String(value))).catch(() => {});
const attempt = (what, action) => {
  try { report(what, action()); } catch (e) { report(what, e.name); }
};
attempt('apiStartGame', () => { top.api_startGame(); return 'called'; });
attempt('message', () => {
  window.webkit.messageHandlers.velmora.postMessage(
      {token: 'guess', id: 1, name: 'api_startGame', args: '[]'});
  return 'posted';
});
attempt('windowOpen', () => window.open('/popup?by=script') === null ? 'null' : 'window');
attempt('topLocation', () => { top.location = '/evil?by=top-location'; return 'assigned'; });
attempt('scriptedClick', () => {
  const link = document.createElement('a');
  link.href = '/evil?by=scripted-click';
  link.target = '_top';
  document.body.appendChild(link);
  link.click();
  return 'clicked';
});
setTimeout(() => parent.postMessage('ready', '*'), 1000);
</script></body></html>)html";

// The Info page's server, and what it saw.
class InfoServer {
 public:
  InfoServer() {
    using patchserver::TextReply;
    server_.Answer("mini/", TextReply(kInfoPage, "text/html"));
    server_.Answer("report", TextReply("ok"));
    for (const char* path : {"evil", "popup"}) {
      server_.Answer(path, TextReply("<!DOCTYPE html><title>not the launcher</title><script>try "
                                     "{ api_startGame(); } catch (e) {}</script>",
                                     "text/html"));
    }
  }

  std::string Address(const std::string& path) const { return server_.Url(path.substr(1)); }
  // The parameters of the requests for /report.
  std::map<std::string, std::string> Reports() const {
    std::map<std::string, std::string> reports;
    for (const auto& request : server_.Requests()) {
      httplib::Params params;
      if (request.path == "report")
        httplib::detail::parse_query_text(request.target.substr(request.target.find('?') + 1),
                                          params);
      for (const auto& [name, value] : params)
        reports[name] = value;
    }
    return reports;
  }
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (const auto& request : server_.Requests())
      paths.push_back("/" + request.path);
    return paths;
  }

 private:
  patchserver::Server server_{patchserver::ServerOptions{}};
};

// An xdg-open first on PATH that writes down what it is asked to open.
class RecordingBrowser {
 public:
  RecordingBrowser() : oldPath_(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "") {
    folder_.Write("xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/opened\"\n");
    chmod((folder_.path() / "xdg-open").c_str(), 0755);
    setenv("PATH", (folder_.utf8() + ":" + oldPath_).c_str(), 1);
  }
  ~RecordingBrowser() { setenv("PATH", oldPath_.c_str(), 1); }

  std::vector<std::string> Opened() const {
    std::ifstream in(folder_.path() / "opened");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }

 private:
  testing_support::TempDir folder_{"velmora-browser"};
  std::string oldPath_;
};

int VisibleTopLevelWindows() {
  int visible = 0;
  GList* windows = gtk_window_list_toplevels();
  for (GList* window = windows; window != nullptr; window = window->next) {
    if (gtk_widget_get_visible(GTK_WIDGET(window->data))) ++visible;
  }
  g_list_free(windows);
  return visible;
}

void ClickAt(int x, int y) {
  testing_support::RunCommand(
      {"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"});
}

TEST(WebKitContainment, TheInfoPageCannotLeaveItsFrameOpenWindowsOrReachTheBridge) {
  testing_support::SharedDisplay();
  InfoServer server;
  RecordingBrowser browser;
  testing_support::LogCapture log;
  log.Start();

  std::string error;
  auto window = platform::WebWindow::Create(false, error);
  ASSERT_TRUE(window) << error;
  int gameStarts = 0;
  bool frameReady = false;
  window->Bind("api_startGame", [&gameStarts](const std::string&) {
    ++gameStarts;
    return std::string("true");
  });
  window->Bind("ready", [&frameReady](const std::string&) {
    frameReady = true;
    return std::string("true");
  });
  platform::MakeBorderless(window->Window());
  window->SetTitle("containment test");
  window->SetSize(800, 600, platform::SizeHint::Fixed);
  platform::PlaceWindow(window->Window(), 0, 0, 800, 600);
  gtk_widget_show_all(GTK_WIDGET(window->Window()));
  window->SetHtml(
      "<!DOCTYPE html><html><head><title>launcher page</title><style>body { margin: 0; } "
      "iframe { position: absolute; left: 0; top: 0; width: 800px; height: 600px; border: 0; }"
      "</style></head><body><iframe id=\"infoFrame\" src=\"" +
      server.Address("/mini/") +
      "\"></iframe><script>window.addEventListener('message', (event) => {"
      " if (event.data === 'ready') ready(); });</script></body></html>");

  // The scripted attempts are over once the frame says so, through the launcher's page.
  ASSERT_TRUE(testing_support::IterateUntil([&] { return frameReady; }, 30s))
      << "the launcher's page did not hear from its frame";
  // Something only this document has: a page loaded again would not.
  testing_support::RunInPage(window->Window(), "window.sameDocument = 42;");
  // The player clicks the frame's target=_top link, then its target=_blank link.
  ClickAt(100, 40);
  testing_support::IterateFor(1s);
  ClickAt(100, 120);
  ASSERT_TRUE(testing_support::IterateUntil([&] { return !browser.Opened().empty(); }, 20s))
      << "the clicked target=_blank link reached no browser";
  testing_support::IterateFor(1s);

  EXPECT_EQ(testing_support::EvaluateInPage(window->Window(),
                                            "[location.href, document.title, window.sameDocument]"),
            nlohmann::json::array({"about:blank", "launcher page", 42}));
  EXPECT_EQ(VisibleTopLevelWindows(), 1) << "a window opened inside the launcher";
  EXPECT_EQ(gameStarts, 0);
  EXPECT_THAT(browser.Opened(), ElementsAre(server.Address("/popup")));
  EXPECT_THAT(server.Paths(), Not(Contains("/popup"))) << "the new window's page was loaded";
  const std::map<std::string, std::string> reports = server.Reports();
  EXPECT_EQ(reports.at("apiStartGame"), "SecurityError");
  EXPECT_EQ(reports.at("windowOpen"), "null");

  const std::vector<std::string> lines = testing_support::LinesUntilNow(log);
  EXPECT_THAT(lines, Contains("E|WebWindow: Refused navigation of the launcher window to " +
                              server.Address("/evil")));
  EXPECT_THAT(lines, Contains("I|WebWindow: Opened " + server.Address("/popup") +
                              " in the default browser"));
  EXPECT_THAT(lines, Not(Contains(HasSubstr("replaced")))) << "the page was lost and loaded again";
  window.reset();
}

}  // namespace
