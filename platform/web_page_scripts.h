// The scripts the web window puts into its page and the scripts that answer the page: one copy for
// both browser engines. Only the way a page hands a message to native code differs between them,
// and that is a parameter (`post`, a JavaScript function expression taking the message).
//
// A bound name is a global function of the page that returns a promise. Calling it posts
// {token, id, name, args}, where args is the JSON text of the call's arguments exactly as
// JSON.stringify wrote it. The native side answers by running a script that settles the promise
// with that id: resolved with JSON.parse of the reply, rejected with an Error "Failed to parse
// binding result as JSON" when the reply does not parse, or with an Error carrying the failure's
// text when the bound function failed.
//
// The token is a secret of the window: only the scripts the window injects know it, so a message
// without it (a page in a frame, a script of another origin) is not taken for a call. The scripts
// do nothing outside the top-level document, whatever the engine injects them into.
#pragma once

#include <cstdint>
#include <string>

namespace platform::web_page {

// How a page posts to native code on each engine (the engines' primitives, named here so the
// scripts can be printed and tested for both).
inline constexpr char kWebView2Post[] = "(message) => window.chrome.webview.postMessage(message)";
inline constexpr char kWebKitChannel[] = "velmora";
inline constexpr char kWebKitPost[] =
    "(message) => window.webkit.messageHandlers.velmora.postMessage(message)";

// Run once per document before the page's own scripts: the promise bookkeeping that all bound
// names share.
std::string BridgeScript(const std::string& token, const std::string& post);

// Run per document after BridgeScript: defines `name` as a global function.
std::string BindingScript(const std::string& name);

// Posts {token, drag: true} when the primary button goes down on an element that the page
// declares draggable with "-webkit-app-region: drag" or "app-region: drag" (any letter case), in a
// <style> element or its own style attribute. The nearest ancestor (or the element itself) with a
// declaration decides, so "no-drag" on a button inside a drag region keeps the button clickable.
// Neither engine honours the property by itself.
std::string DragRegionScript(const std::string& token, const std::string& post);

// Settles call `id` with the bound function's reply text.
std::string ResolveScript(std::uint64_t id, const std::string& reply);
// Rejects call `id` with an Error whose message is `message`.
std::string RejectScript(std::uint64_t id, const std::string& message);

// A JavaScript string literal holding `text` (JSON's string syntax is a subset of JavaScript's);
// bytes that are not UTF-8 become U+FFFD.
std::string ScriptString(const std::string& text);

}  // namespace platform::web_page
