// The page in a real WebKit view on a private X display: the driver runs scripts in the page
// through the view and reads back what the page saw.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "platform/web_page_scripts.h"
#include "tests/launcher/support/xvfb_display.h"
#include "tests/web_window/page_driver.h"
#include "tests/web_window/webkit_page.h"

namespace testing_support {

namespace {

using namespace std::chrono_literals;

constexpr char kPage[] =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>"
    "<script>window.outcomes = {};</script></body></html>";

class WebKitPageDriver final : public PageDriver {
 public:
  void LoadPage(platform::WebWindow& window) override {
    window_ = window.Window();
    gtk_widget_show_all(GTK_WIDGET(window_));
    window.SetHtml(kPage);
    IterateUntil(
        [this] {
          return EvaluateInPage(window_,
                                "document.readyState === 'complete' && "
                                "typeof window.outcomes === 'object'") == true;
        },
        30s);
  }

  void Call(int key, const std::string& name, const std::string& args) override {
    const std::string slot = "window.outcomes[" + std::to_string(key) + "]";
    RunInPage(window_, "window.__velmoraBridge.call(" + platform::web_page::ScriptString(name) +
                           ", " + args + ").then((value) => { " + slot +
                           " = {resolved: true, value}; }, (error) => { " + slot +
                           " = {resolved: false, message: error instanceof Error ? error.message : "
                           "'not an Error: ' + error}; });");
  }

  void PostRaw(const std::string& json) override {
    RunInPage(window_, std::string("window.webkit.messageHandlers.") +
                           platform::web_page::kWebKitChannel + ".postMessage(" + json + ");");
  }

  std::optional<CallOutcome> WaitForOutcome(int key, std::chrono::milliseconds timeout) override {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const nlohmann::json seen =
          EvaluateInPage(window_, "window.outcomes[" + std::to_string(key) + "] || null");
      if (seen.is_object()) {
        return CallOutcome{seen.value("resolved", false), seen.value("value", nlohmann::json()),
                           seen.value("message", std::string())};
      }
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      IterateFor(10ms);
    }
  }

  void RunFor(std::chrono::milliseconds duration) override { IterateFor(duration); }

  void ExpectCleanedUp() override {}

 private:
  platform::NativeWindow window_ = nullptr;
};

}  // namespace

std::unique_ptr<PageDriver> MakePageDriver() {
  SharedDisplay();
  return std::make_unique<WebKitPageDriver>();
}

}  // namespace testing_support
