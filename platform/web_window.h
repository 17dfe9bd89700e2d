// A top-level window whose whole surface is a web page, and the page's way back to native code.
// Windows hosts WebView2, Linux WebKitGTK 4.1 in a GTK 3 window; both behave alike through this
// class. Every member is called on the thread that called Create, which also runs the loop.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/window.h"

namespace platform {

enum class SizeHint { None, Min, Max, Fixed };

class WebWindow {
 public:
  // A bound function receives the JSON array of the page's arguments as text, exactly as
  // JSON.stringify wrote it ("[]" for no arguments), and returns a JSON text.
  using Binding = std::function<std::string(const std::string& request)>;

  // Creates the window and its browser engine; `debug` turns the engine's developer tools on.
  // The window is not shown yet (Run shows it), so it can be styled and placed first. Returns
  // null and a one-line reason in `error` when the engine cannot be started (no runtime, no
  // display). Linux always uses the X11 back end, where a program may place its own window.
  static std::unique_ptr<WebWindow> Create(bool debug, std::string& error);
  // Destroys the window if it still exists.
  ~WebWindow();
  WebWindow(const WebWindow&) = delete;
  WebWindow& operator=(const WebWindow&) = delete;

  // The native top-level window (HWND, GtkWindow*); null once the window has been closed.
  NativeWindow Window() const;
  void SetTitle(const std::string& title);
  // None: the user may resize; Min / Max: the smallest / largest size the user may give it;
  // Fixed: exactly width x height, and the user cannot resize it.
  void SetSize(int width, int height, SizeHint hint);

  // Makes `name` a global function of every page loaded afterwards (bind before SetHtml); it
  // exists when the page's first script starts, in the top-level page only, not in its frames.
  // Calling it returns a promise:
  //  - the function runs on the loop's thread, one call at a time in the order the page made
  //    them (a call made while another is still running, e.g. from inside a dialog the first
  //    one shows, waits for it);
  //  - its reply is parsed in the page with JSON.parse and the promise resolves with the value;
  //    a reply that does not parse rejects it with an Error whose message is exactly
  //    "Failed to parse binding result as JSON";
  //  - a function that throws rejects the promise with an Error carrying the exception's text
  //    and logs the error line "Bound function <name> failed: <text>" (function field
  //    "WebWindow"); the process goes on.
  void Bind(const std::string& name, Binding function);
  // Lets the page's frames load pages of the host of the https `address` whose certificate chains
  // to an authority of the PEM file `authorities` though not to the system's store (a launcher
  // built for a test server trusts that server's authority). Call it before SetHtml; an address
  // of another scheme changes nothing.
  //
  // Linux: the host's certificate is checked once, from the loop, against those authorities and
  // the host's name; only a certificate that passes is accepted, for that host alone. The window
  // does not wait; navigations to that host do, until the check has ended (15 s at most). One
  // line tells the outcome, function field "WebWindow": "Trusting the certificate of
  // <host>:<port> (issued by <issuer>): it chains to <authorities>", or an error line that says
  // why not ("Not trusting the certificate of <host>:<port>: <problems> (authorities in
  // <authorities>)", "Could not check the certificate of <host>:<port>: <reason>", "Cannot read
  // the certificate authorities in <authorities>: <reason>"). Windows: does nothing; WebView2
  // trusts the system's store, like WinINet.
  void TrustAuthorityFor(const std::string& address, const std::string& authorities);
  // Loads `html` as the page (no base address: the page must not need files of its own).
  //
  // The window shows that page and nothing else. Every other top-level navigation is refused and
  // logged ("Refused navigation of the launcher window to <address>", function field
  // "WebWindow"), whoever starts it: a link with target=_top in a frame, a script setting
  // top.location, a reload. A new window is never opened inside the launcher: when the player
  // clicks a link that opens one (target=_blank, window.open from a click) and its address is an
  // http or https one, the player's default browser gets the address ("Opened <address> in the
  // default browser"); anything else is refused ("Refused a new window for <address>"). Only this
  // page's own document reaches the bound functions: a message from any other document is
  // refused, whatever token it carries.
  void SetHtml(const std::string& html);
  // Shows the window and runs the message loop; returns once the window has been closed (by
  // PostCloseWindow, by the user or because the page's engine stopped unexpectedly, which is
  // logged as an error line "Web page process ended unexpectedly", function field "WebWindow").
  //
  // The window has no frame of its own, so the page drags it: a primary-button press on an
  // element that the page declares with "-webkit-app-region: drag" (or "app-region: drag", in
  // any letter case, in a <style> element or a style attribute), and that is not inside an
  // element declared "no-drag", moves the window with the pointer until the button is released.
  // The nearest declared ancestor of the pressed element decides; the page needs no script of its
  // own for it.
  void Run();

  class Impl;

 private:
  explicit WebWindow(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
