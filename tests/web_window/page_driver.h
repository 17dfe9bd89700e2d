// How the web window's contract suite plays the page on one engine: on Linux through scripts run
// in a real WebKit page, on Windows through the stand-in WebView2 runtime of
// tests/win32/fake_webview2, which posts what a page would post and records the scripts the
// window runs in answer.
#pragma once

#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "platform/web_window.h"

namespace testing_support {

// What the page saw of one call.
struct CallOutcome {
  bool resolved = false;
  nlohmann::json value;  // when resolved
  std::string message;   // the rejection's Error message otherwise

  bool operator==(const CallOutcome&) const = default;
};

class PageDriver {
 public:
  virtual ~PageDriver() = default;

  // Loads a page of the driver's own into `window` (bound names are in place before it) and
  // returns once the page's scripts run.
  virtual void LoadPage(platform::WebWindow& window) = 0;
  // The page calls `name` through the bridge with the arguments of the JSON array `args`; `key`
  // identifies the call for WaitForOutcome.
  virtual void Call(int key, const std::string& name, const std::string& args) = 0;
  // The page posts `json` (a JSON text) to native code as it stands, without the window's token.
  virtual void PostRaw(const std::string& json) = 0;
  // Runs the loop until call `key` is settled (nothing if it is not within `timeout`).
  virtual std::optional<CallOutcome> WaitForOutcome(int key, std::chrono::milliseconds timeout) = 0;
  // Runs the loop for `duration`.
  virtual void RunFor(std::chrono::milliseconds duration) = 0;
  // After the window has been destroyed: fails the test if the engine was left with anything.
  virtual void ExpectCleanedUp() = 0;
};

// Prepares this platform's engine for a new window (a display; a fresh stand-in runtime) and
// returns the driver that plays the page on it.
std::unique_ptr<PageDriver> MakePageDriver();

}  // namespace testing_support
