// The page in a real WebKit view on a private X display: the driver runs scripts in the page
// through the view and reads back what the page saw.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "platform/web_page_scripts.h"
#include "tests/launcher/support/xvfb_display.h"
#include "tests/web_window/page_driver.h"

namespace testing_support {

namespace {

using namespace std::chrono_literals;

constexpr char kPage[] =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>"
    "<script>window.outcomes = {};</script></body></html>";

void Iterate(std::chrono::milliseconds duration) {
  const auto until = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < until) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
}

class WebKitPageDriver final : public PageDriver {
 public:
  void LoadPage(platform::WebWindow& window) override {
    window_ = GTK_WIDGET(window.Window());
    gtk_widget_show_all(window_);
    window.SetHtml(kPage);
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (Evaluate("document.readyState === 'complete' && typeof window.outcomes === 'object'") !=
               true &&
           std::chrono::steady_clock::now() < deadline) {
      Iterate(20ms);
    }
  }

  void Call(int key, const std::string& name, const std::string& args) override {
    const std::string slot = "window.outcomes[" + std::to_string(key) + "]";
    Run("window.__velmoraBridge.call(" + platform::web_page::ScriptString(name) + ", " + args +
        ").then((value) => { " + slot + " = {resolved: true, value}; }, (error) => { " + slot +
        " = {resolved: false, message: error instanceof Error ? error.message : "
        "'not an Error: ' + error}; });");
  }

  void PostRaw(const std::string& json) override {
    Run(std::string("window.webkit.messageHandlers.") + platform::web_page::kWebKitChannel +
        ".postMessage(" + json + ");");
  }

  std::optional<CallOutcome> WaitForOutcome(int key, std::chrono::milliseconds timeout) override {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const nlohmann::json seen = Evaluate("window.outcomes[" + std::to_string(key) + "] || null");
      if (seen.is_object()) {
        return CallOutcome{seen.value("resolved", false), seen.value("value", nlohmann::json()),
                           seen.value("message", std::string())};
      }
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      Iterate(10ms);
    }
  }

  void RunFor(std::chrono::milliseconds duration) override { Iterate(duration); }

  void ExpectCleanedUp() override {}

 private:
  WebKitWebView* View() const { return WEBKIT_WEB_VIEW(gtk_bin_get_child(GTK_BIN(window_))); }

  void Run(const std::string& script) {
    webkit_web_view_evaluate_javascript(View(), script.c_str(), -1, nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
  }

  // The value of `expression` in the page as JSON (null when it fails), running the loop meanwhile.
  nlohmann::json Evaluate(const std::string& expression) {
    struct Result {
      bool done = false;
      std::string json = "null";
    };
    // Shared with the callback, which may come after this call has given up waiting.
    auto* shared = new std::shared_ptr<Result>(std::make_shared<Result>());
    const std::shared_ptr<Result> mine = *shared;
    const std::string script = "JSON.stringify(" + expression + ")";
    webkit_web_view_evaluate_javascript(
        View(), script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* view, GAsyncResult* async, gpointer data) {
          const std::unique_ptr<std::shared_ptr<Result>> result(
              static_cast<std::shared_ptr<Result>*>(data));  // the callback's share
          JSCValue* value =
              webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), async, nullptr);
          if (value != nullptr && jsc_value_is_string(value)) {
            char* text = jsc_value_to_string(value);
            (*result)->json = text;
            g_free(text);
          }
          if (value != nullptr) g_object_unref(value);
          (*result)->done = true;
        },
        shared);
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!mine->done && std::chrono::steady_clock::now() < deadline)
      Iterate(1ms);
    if (!mine->done) ADD_FAILURE() << "the page did not evaluate " << expression;
    return nlohmann::json::parse(mine->json, nullptr, false);
  }

  GtkWidget* window_ = nullptr;
};

}  // namespace

std::unique_ptr<PageDriver> MakePageDriver() {
  SharedDisplay();
  return std::make_unique<WebKitPageDriver>();
}

}  // namespace testing_support
