// The bridge core of the web window, the same on every engine: the bound functions, the page's
// messages, the one-call-at-a-time queue and the answers.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/web_engine.h"
#include "platform/web_window.h"

namespace platform {

struct BridgeCall {
  std::uint64_t id = 0;
  std::string name;
  std::string request;  // the JSON array of the arguments, as the page wrote it
};

struct PageMessage {
  enum class Kind { Call, Drag } kind = Kind::Call;
  BridgeCall call;  // for Kind::Call
};

// What a message from the page asks for: {token, id, name, args} is a call, {token, drag: true}
// a drag. Nothing when it is not one of this window's (wrong or missing token, malformed).
std::optional<PageMessage> ParsePageMessage(const std::string& json, const std::string& token);

// 128 random bits as 32 hexadecimal digits. Throws when the system has no random source.
std::string RandomToken();

// Whether a new window the page asks for at `uri` goes to the player's browser: only web
// addresses (http, https) and only when the player asked for it (a click, not a script alone).
bool OpensInBrowser(const std::string& uri, bool userInitiated);

// The launcher's window shows its own page and nothing else: the first top-level navigation after
// LoadOwnPage is that page; every other one is refused, and a new window is never opened inside
// the launcher. Only the launcher's own document is answered, whatever token a message carries.
class WebBridge {
 public:
  // Hands a web address to the player's browser (platform::OpenInDefaultBrowser).
  using Opener = std::function<bool(const std::string& url)>;

  // Puts the bridge and drag-region scripts into `engine`'s documents.
  WebBridge(WebEngine& engine, std::string token, Opener opener);

  // Binds `name` (adding its page script the first time) or replaces its function.
  void Bind(const std::string& name, WebWindow::Binding function);
  // Loads `html` as the launcher's own page (again, should anything have replaced it).
  void LoadOwnPage(const std::string& html);
  // See WebEngineEvents.
  void OnPageMessage(const std::string& json, const std::string& source);
  bool OnTopLevelNavigation(const std::string& uri);
  void OnDocumentShown(const std::string& uri);
  void OnNewWindowRequested(const std::string& uri, bool userInitiated);
  // Runs the queued calls one at a time, in the order the page made them, and answers each. A
  // call that arrives while one runs (from a nested message loop) waits for it. Loads the
  // launcher's page again first if something replaced it, and hands the addresses waiting for
  // the browser to it.
  void RunQueuedCalls();
  // The window is gone: queued calls and browser addresses are dropped.
  void Forget();

  const std::string& token() const { return token_; }

 private:
  // Where the launcher's own page is on its way in.
  enum class OwnPage { Shown, Requested, Loading };

  void Answer(const BridgeCall& call);
  void OpenInBrowser(const std::string& uri);

  WebEngine& engine_;
  std::string token_;
  Opener opener_;
  std::string ownHtml_;
  OwnPage ownPage_ = OwnPage::Shown;
  bool reloadOwnPage_ = false;
  // The address of the top-level document while it is the launcher's own page.
  std::optional<std::string> ownDocument_;
  std::map<std::string, WebWindow::Binding> bindings_;
  std::deque<BridgeCall> queue_;
  std::deque<std::string> browserAddresses_;
  bool answering_ = false;
};

}  // namespace platform
