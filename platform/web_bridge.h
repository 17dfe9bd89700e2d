// The bridge core of the web window, the same on every engine: the bound functions, the page's
// messages, the one-call-at-a-time queue and the answers.
#pragma once

#include <cstdint>
#include <deque>
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

class WebBridge {
 public:
  // Puts the bridge and drag-region scripts into `engine`'s documents.
  WebBridge(WebEngine& engine, std::string token);

  // Binds `name` (adding its page script the first time) or replaces its function.
  void Bind(const std::string& name, WebWindow::Binding function);
  // A message the page posted (see WebEngineEvents::OnPageMessage).
  void OnPageMessage(const std::string& json, const std::string& source);
  // Runs the queued calls one at a time, in the order the page made them, and answers each. A
  // call that arrives while one runs (from a nested message loop) waits for it.
  void RunQueuedCalls();
  // The window is gone: queued calls are dropped unanswered.
  void Forget();

  const std::string& token() const { return token_; }

 private:
  void Answer(const BridgeCall& call);

  WebEngine& engine_;
  std::string token_;
  std::map<std::string, WebWindow::Binding> bindings_;
  std::deque<BridgeCall> queue_;
  bool answering_ = false;
};

}  // namespace platform
