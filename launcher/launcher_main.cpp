#include "launcher/launcher_main.h"

#include <memory>
#include <string>

#include "common/build_config.h"
#include "launcher/bridge.h"
#include "launcher/page_assets.h"
#include "launcher/page_resources.h"
#include "launcher/startup_log.h"
#include "launcher/upgrade.h"
#include "launcher/upgrade_switch.h"
#include "launcher/window_placement.h"
#include "platform/display.h"
#include "platform/main_window.h"
#include "platform/resources.h"
#include "platform/web_window.h"

namespace {

constexpr int kHtmlResource = VELMORA_PAGE_HTML_RESOURCE;
constexpr int kStyleSheetResource = VELMORA_PAGE_CSS_RESOURCE;
constexpr int kScriptResource = VELMORA_PAGE_JS_RESOURCE;

struct PageParts {
  std::string html;
  std::string css;
  std::string js;
};

std::unique_ptr<platform::WebWindow> CreateWebWindow() {
  std::string reason;
  std::unique_ptr<platform::WebWindow> window = platform::WebWindow::Create(true, reason);
  if (!window) {
    LogErrorAs(kStartupLogName, "Failed to create the web view: %s", reason.c_str());
    const std::string text = "The launcher window could not be created: " + reason + ".";
    platform::ShowErrorDialog(text.c_str(), "Error");
  }
  return window;
}

// Borderless, titled, fixed at 800 x 600 and centred on the primary screen. Without a native
// window only the title and size apply.
void ConfigureWindow(platform::WebWindow& window) {
  if (platform::NativeWindow handle = window.Window()) {
    mainWindow = handle;
    LogInfoAs(kStartupLogName, "Window handle obtained: %p", handle);
    platform::MakeBorderless(handle);
    LogInfoAs(kStartupLogName, "Window made borderless");
  }
  window.SetTitle("Velmora Launcher");
  window.SetSize(launcher::kWindowWidth, launcher::kWindowHeight, platform::SizeHint::Fixed);
  if (mainWindow != nullptr) {
    const launcher::WindowOrigin origin = launcher::CentredOrigin(platform::PrimaryScreenSize());
    platform::PlaceWindow(mainWindow, origin.x, origin.y, launcher::kWindowWidth,
                          launcher::kWindowHeight);
  }
  LogInfoAs(kStartupLogName, "Window configured %dx%d", launcher::kWindowWidth,
            launcher::kWindowHeight);
}

// A launcher built for a test server trusts that server's authority (kCaBundle) for its downloads
// and for the Info tab's page alike; the product has none and trusts the system's store only.
void TrustBuiltInAuthority(platform::WebWindow& window) {
  if (*build_config::kCaBundle == '\0') return;
  window.TrustAuthorityFor(build_config::kInfoPageUrl, build_config::kCaBundle);
}

void BindApi(platform::WebWindow& window) {
  LogInfoAs(kStartupLogName, "Binding API functions...");
  launcher::BindBridge(window);
  LogInfoAs(kStartupLogName, "API functions bound");
}

PageParts LoadPageParts() {
  PageParts parts{LoadEmbeddedResource(kHtmlResource), LoadEmbeddedResource(kStyleSheetResource),
                  LoadEmbeddedResource(kScriptResource)};
  LogInfoAs(kStartupLogName, "HTML resource size: %zu bytes", parts.html.size());
  LogInfoAs(kStartupLogName, "CSS resource size: %zu bytes", parts.css.size());
  LogInfoAs(kStartupLogName, "JS resource size: %zu bytes", parts.js.size());
  return parts;
}

}  // namespace

int LauncherMain(const char* commandLine) {
  LogInfoAs(kStartupLogName, "Launcher starting with args: %s",
            commandLine != nullptr ? commandLine : "");
  if (CommandLineRequestsUpgrade(commandLine)) {
    LogInfoAs(kStartupLogName, "Upgrade mode detected");
    if (!HandleUpgradeMode()) return 0;
  }

  std::unique_ptr<platform::WebWindow> window = CreateWebWindow();
  if (!window) return 1;
  ConfigureWindow(*window);
  TrustBuiltInAuthority(*window);
  BindApi(*window);

  PageParts page = LoadPageParts();
  if (page.html.empty()) {
    LogErrorAs(kStartupLogName, "Failed to load embedded HTML resource");
    platform::ShowErrorDialog("Failed to load embedded HTML resource.", "Error");
    return 1;
  }
  InlinePageAssets(page.html, page.css, page.js);

  LogInfoAs(kStartupLogName, "Setting HTML content...");
  window->SetHtml(page.html);
  LogInfoAs(kStartupLogName, "Starting message loop...");
  window->Run();
  LogInfoAs(kStartupLogName, "Launcher exit");
  return 0;
}
