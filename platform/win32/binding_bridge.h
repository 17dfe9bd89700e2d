// The page side of WebWindow::Bind on WebView2 and the messages the page posts to native code.
//
// A bound name is a global function of the page that returns a promise. Calling it posts
// {token, id, name, args} through window.chrome.webview.postMessage, where args is the JSON text
// of the call's arguments exactly as JSON.stringify wrote it. The native side answers by running
// a script that settles the promise with that id: resolved with JSON.parse of the reply, or
// rejected with an Error "Failed to parse binding result as JSON" when the reply does not parse,
// or with an Error carrying the failure's text when the bound function failed.
//
// The token is a secret of the window: only the scripts the window injects know it, so a message
// without it (a page in a frame, a script of another origin) is not taken for a call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace webview2 {

// Run once per document before the page's own scripts: the promise bookkeeping that all bound
// names share. Only the top-level document gets it, so a framed page cannot reach native code.
std::string BridgeScript(const std::string& token);

// Run per document after BridgeScript: defines `name` as a global function.
std::string BindingScript(const std::string& name);

struct BindingCall {
  std::uint64_t id = 0;
  std::string name;
  std::string request;  // the JSON array of the arguments, as the page wrote it
};

struct PageMessage {
  enum class Kind { Call, Drag } kind = Kind::Call;
  BindingCall call;  // for Kind::Call
};

// What a message from the page asks for; nothing when it is not one of this window's (wrong or
// missing token, malformed).
std::optional<PageMessage> ParsePageMessage(const std::string& messageJson,
                                            const std::string& token);

// Settles call `id` with the bound function's reply text.
std::string ResolveScript(std::uint64_t id, const std::string& reply);
// Rejects call `id` with an Error whose message is `message`.
std::string RejectScript(std::uint64_t id, const std::string& message);

// A JavaScript string literal holding `text` (JSON's string syntax is a subset of JavaScript's);
// bytes that are not UTF-8 become U+FFFD.
std::string ScriptString(const std::string& text);

}  // namespace webview2
