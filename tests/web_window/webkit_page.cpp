#include "tests/web_window/webkit_page.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <memory>

namespace testing_support {

namespace {

using namespace std::chrono_literals;

WebKitWebView* ViewOf(platform::NativeWindow window) {
  return WEBKIT_WEB_VIEW(gtk_bin_get_child(GTK_BIN(window)));
}

}  // namespace

void IterateFor(std::chrono::milliseconds duration) {
  IterateUntil([] { return false; }, duration);
}

bool IterateUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
}

void RunInPage(platform::NativeWindow window, const std::string& script) {
  webkit_web_view_evaluate_javascript(ViewOf(window), script.c_str(), -1, nullptr, nullptr, nullptr,
                                      nullptr, nullptr);
}

nlohmann::json EvaluateInPage(platform::NativeWindow window, const std::string& expression) {
  struct Result {
    bool done = false;
    std::string json = "null";
  };
  // Shared with the callback, which may come after this call has given up waiting.
  auto* shared = new std::shared_ptr<Result>(std::make_shared<Result>());
  const std::shared_ptr<Result> mine = *shared;
  const std::string script = "JSON.stringify(" + expression + ")";
  webkit_web_view_evaluate_javascript(
      ViewOf(window), script.c_str(), -1, nullptr, nullptr, nullptr,
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
  if (!IterateUntil([&mine] { return mine->done; }, 20s)) {
    ADD_FAILURE() << "the page did not evaluate " << expression;
  }
  return nlohmann::json::parse(mine->json, nullptr, false);
}

}  // namespace testing_support
