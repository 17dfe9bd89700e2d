// The primitives one browser engine gives the web window, and what it reports back.
//
// Everything both engines share lives once in the window's core (platform/web_window.cpp,
// platform/web_bridge.cpp, platform/web_page_scripts.cpp): the bound functions, their queue and
// answers, the page's scripts, which messages are taken for calls. An engine only creates the
// window, adds document scripts, loads the page, runs scripts in it, starts a drag and runs the
// loop: WebKitGTK in platform/posix/web_engine.cpp, WebView2 in platform/win32/web_engine.cpp.
// Everything here happens on the thread that created the engine.
#pragma once

#include <memory>
#include <string>

#include "platform/web_window.h"
#include "platform/window.h"

namespace platform {

// What an engine reports to the core. The core never lets an exception out of these.
class WebEngineEvents {
 public:
  // The page posted a message to native code: `json` is the posted value as JSON text, `source`
  // the address of the top-level document it arrived from.
  virtual void OnPageMessage(const std::string& json, const std::string& source) = 0;
  // The top-level document is about to be replaced by `uri` (a link, a script, a reload, or the
  // page LoadHtml asked for). False: the engine stops that navigation and keeps the document.
  virtual bool OnTopLevelNavigation(const std::string& uri) = 0;
  // A new top-level document at `uri` is in place, before any script of it has run.
  virtual void OnDocumentShown(const std::string& uri) = 0;
  // The page (or a frame of it) asked for a new window at `uri` (window.open, a link with a
  // target of its own); `userInitiated` when a click or key press of the player led to it. The
  // engine never opens a window for it.
  virtual void OnNewWindowRequested(const std::string& uri, bool userInitiated) = 0;
  // The loop came round after WebEngine::ScheduleCalls.
  virtual void OnCallsScheduled() = 0;
  // The page's engine process ended without being asked to (`reason` is the engine's own code);
  // the engine closes the window afterwards.
  virtual void OnPageProcessEnded(int reason) = 0;
  // The window is gone: nothing queued for the page can be answered any more.
  virtual void OnWindowClosed() = 0;

 protected:
  ~WebEngineEvents() = default;
};

class WebEngine {
 public:
  virtual ~WebEngine() = default;

  // The native top-level window; null once it has been closed.
  virtual NativeWindow Window() const = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetSize(int width, int height, SizeHint hint) = 0;
  // A JavaScript function expression that hands its one argument (a plain object) to
  // WebEngineEvents::OnPageMessage.
  virtual std::string PostFunction() const = 0;
  // Runs `script` in every top-level document created from now on, before the document's own
  // scripts.
  virtual void AddDocumentScript(const std::string& script) = 0;
  // Loads `html` as the page, with no base address.
  virtual void LoadHtml(const std::string& html) = 0;
  // Runs `script` in the current top-level document; its result is not used.
  virtual void RunScript(const std::string& script) = 0;
  // Lets pages of the host of the https `address` load when its certificate chains to an
  // authority of the PEM file `authorities` (see WebWindow::TrustAuthorityFor).
  virtual void TrustAuthorityFor(const std::string& address, const std::string& authorities) = 0;
  // Calls WebEngineEvents::OnCallsScheduled from the loop soon, never from inside this call.
  virtual void ScheduleCalls() = 0;
  // The page saw the primary button go down on its drag region: moves the window with the
  // pointer until the button is released (nothing if it is already up).
  virtual void StartDrag() = 0;
  // Shows the window and runs the loop until the window has been closed.
  virtual void Run() = 0;
};

// The engine of this platform in a new, hidden window; null with a one-line reason in `error`
// when it cannot start. `events` must outlive the engine.
std::unique_ptr<WebEngine> CreateWebEngine(bool debug, WebEngineEvents& events, std::string& error);

}  // namespace platform
