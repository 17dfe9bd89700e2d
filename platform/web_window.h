// A top-level window whose whole surface is a web page, and the page's way back to native code.
// Windows hosts WebView2, Linux WebKitGTK 4.1; both behave alike through this class.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/window.h"

namespace platform {

enum class SizeHint { None, Min, Max, Fixed };

class WebWindow {
 public:
  // A bound function receives the JSON array of the page's arguments as text and returns a JSON
  // text; the page's promise resolves with the parsed reply, or rejects with "Failed to parse
  // binding result as JSON" when the reply does not parse.
  using Binding = std::function<std::string(const std::string& request)>;

  // Creates the window and its browser engine; `debug` turns the engine's developer tools on.
  // Returns null and says why in `error` when the engine cannot be started (no runtime, no
  // display). Call on the thread that will run the message loop.
  static std::unique_ptr<WebWindow> Create(bool debug, std::string& error);
  ~WebWindow();
  WebWindow(const WebWindow&) = delete;
  WebWindow& operator=(const WebWindow&) = delete;

  // The native top-level window; null if there is none.
  NativeWindow Window() const;
  void SetTitle(const std::string& title);
  // Fixed: the user cannot resize the window.
  void SetSize(int width, int height, SizeHint hint);
  // Makes `name` a global function of every page loaded afterwards; it exists when the page's
  // script starts. Calls arrive on the message-loop thread, one at a time.
  void Bind(const std::string& name, Binding function);
  void SetHtml(const std::string& html);
  // Runs the message loop; returns when the window has been closed.
  void Run();

  class Impl;

 private:
  explicit WebWindow(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
