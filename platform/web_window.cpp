// The web window on every platform: the engine of the platform (platform/web_engine.h) with the
// bridge core (platform/web_bridge.h) on top. Engine events reach the core through this class,
// which keeps exceptions from unwinding into the engine's own code.
#include "platform/web_window.h"

#include <exception>
#include <optional>
#include <utility>

#include "log/log.h"
#include "platform/browser.h"
#include "platform/web_bridge.h"
#include "platform/web_engine.h"

namespace platform {

class WebWindow::Impl final : public WebEngineEvents {
 public:
  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    closing_ = true;
    engine_.reset();  // while the bridge still exists: closing the window may report to it
  }

  bool Start(bool debug, std::string& error) {
    std::string token;
    try {
      token = RandomToken();
    } catch (const std::exception& failure) {
      error = std::string("the system's random number generator failed: ") + failure.what();
      return false;
    }
    engine_ = CreateWebEngine(debug, *this, error);
    if (!engine_) return false;
    bridge_.emplace(*engine_, std::move(token), OpenInDefaultBrowser);
    return true;
  }

  WebEngine& engine() { return *engine_; }
  WebBridge& bridge() { return *bridge_; }

  void OnPageMessage(const std::string& json, const std::string& source) override {
    Guard("a page message", [&] { bridge_->OnPageMessage(json, source); });
  }
  bool OnTopLevelNavigation(const std::string& uri) override {
    bool allowed = false;
    Guard("a navigation", [&] { allowed = bridge_->OnTopLevelNavigation(uri); });
    return allowed;
  }
  void OnDocumentShown(const std::string& uri) override {
    Guard("a new document", [&] { bridge_->OnDocumentShown(uri); });
  }
  void OnNewWindowRequested(const std::string& uri, bool userInitiated) override {
    Guard("a new window", [&] { bridge_->OnNewWindowRequested(uri, userInitiated); });
  }
  void OnCallsScheduled() override {
    Guard("the queued calls", [&] { bridge_->RunQueuedCalls(); });
  }
  void OnPageProcessEnded(int reason) override {
    LogErrorAs("WebWindow", "Web page process ended unexpectedly (reason %d)", reason);
  }
  void OnWindowClosed() override {
    if (!closing_ && bridge_) bridge_->Forget();
  }

 private:
  // Runs `action` unless the window is being destroyed; what it throws is logged, not passed on.
  template <typename Action>
  void Guard(const char* what, Action&& action) noexcept {
    if (closing_ || !bridge_) return;
    try {
      action();
    } catch (const std::exception& failure) {
      LogErrorAs("WebWindow", "Handling %s failed: %s", what, failure.what());
    } catch (...) {
      LogErrorAs("WebWindow", "Handling %s failed", what);
    }
  }

  std::unique_ptr<WebEngine> engine_;
  std::optional<WebBridge> bridge_;
  bool closing_ = false;
};

WebWindow::WebWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WebWindow::~WebWindow() = default;

std::unique_ptr<WebWindow> WebWindow::Create(bool debug, std::string& error) {
  auto impl = std::make_unique<Impl>();
  if (!impl->Start(debug, error)) return nullptr;
  return std::unique_ptr<WebWindow>(new WebWindow(std::move(impl)));
}

NativeWindow WebWindow::Window() const {
  return impl_->engine().Window();
}

void WebWindow::SetTitle(const std::string& title) {
  impl_->engine().SetTitle(title);
}

void WebWindow::SetSize(int width, int height, SizeHint hint) {
  impl_->engine().SetSize(width, height, hint);
}

void WebWindow::Bind(const std::string& name, Binding function) {
  impl_->bridge().Bind(name, std::move(function));
}

void WebWindow::TrustAuthorityFor(const std::string& address, const std::string& authorities) {
  impl_->engine().TrustAuthorityFor(address, authorities);
}

void WebWindow::SetHtml(const std::string& html) {
  impl_->bridge().LoadOwnPage(html);
}

void WebWindow::Run() {
  impl_->engine().Run();
}

}  // namespace platform
