// Driving a WebKitGTK web window from its test: running the GLib loop and reading values from the
// page.
#pragma once

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/window.h"

namespace testing_support {

// Runs the GLib main loop of this thread for `duration`.
void IterateFor(std::chrono::milliseconds duration);
// Runs it until `done` returns true (true) or `timeout` has passed (false).
bool IterateUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
// The value of the JavaScript `expression` in the top-level document of the web window `window`,
// as JSON (null when it cannot be evaluated); the loop runs meanwhile.
nlohmann::json EvaluateInPage(platform::NativeWindow window, const std::string& expression);
// Runs `script` in that document without waiting for it.
void RunInPage(platform::NativeWindow window, const std::string& script);

}  // namespace testing_support
