// The launcher's own page, assembled from the files compiled into this program as the launcher
// assembles it, in a real WebKit view with the real version operation bound.
#include <glib.h>
#include <gtest/gtest.h>

#include "launcher/bridge.h"
#include "launcher/page_assets.h"
#include "launcher/page_resources.h"
#include "platform/resources.h"
#include "platform/web_window.h"
#include "tests/launcher/support/xvfb_display.h"

namespace {

// What the page is told while nothing is stored and no update has run.
std::string QuietReply(const std::string& name) {
  if (name == "api_getConfig")
    return R"({"resolution":"1920x1080","windowed":false,"vsync":true,"antiAliasing":4,)"
           R"("version":"1.0.0.0"})";
  if (name == "api_getResolutions") return R"([{"width":1920,"height":1080,"label":"1920x1080"}])";
  if (name == "api_getUpdateStatus")
    return R"({"state":"idle","progress":0,"message":"Ready","canStart":true})";
  return "true";
}

TEST(LauncherPage, ShowsTheVersionTheBridgeReplies) {
  testing_support::SharedDisplay();
  std::string error;
  auto window = platform::WebWindow::Create(false, error);
  ASSERT_TRUE(window) << error;
  for (const launcher::BridgeFunction& function : launcher::BridgeFunctions()) {
    const std::string name = function.name;
    if (name == "api_getLauncherVersion") {
      window->Bind(name, function.operation);
    } else {
      window->Bind(name, [name](const std::string&) { return QuietReply(name); });
    }
  }
  std::string shown;
  window->Bind("finish", [&](const std::string& request) {
    shown = request;
    platform::PostCloseWindow(window->Window());
    return std::string("true");
  });

  std::string html = LoadEmbeddedResource(VELMORA_PAGE_HTML_RESOURCE);
  InlinePageAssets(html, LoadEmbeddedResource(VELMORA_PAGE_CSS_RESOURCE),
                   LoadEmbeddedResource(VELMORA_PAGE_JS_RESOURCE));
  const std::size_t end = html.rfind("</body>");
  ASSERT_NE(end, std::string::npos);
  html.insert(end,
              "<script>const waitForVersion = setInterval(() => {"
              "  const line = document.getElementById('versionInfo').textContent;"
              "  if (!line.endsWith('...')) { clearInterval(waitForVersion); finish(line); }"
              "}, 50);</script>");
  window->SetHtml(html);
  g_timeout_add_seconds(
      30,
      [](gpointer handle) {
        platform::PostCloseWindow(handle);
        return G_SOURCE_REMOVE;
      },
      window->Window());
  window->Run();

  EXPECT_EQ(shown, R"(["Launcher v1.0.3"])");
}

}  // namespace
