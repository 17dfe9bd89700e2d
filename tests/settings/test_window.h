// A real top-level window standing in for the launcher's, to see whether it is asked to close.
// Call EnsureTestDisplay() first.
#pragma once

#include <chrono>
#include <memory>

#include "platform/window.h"

namespace settings_testing {

class TestWindow {
 public:
  TestWindow();
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  platform::NativeWindow handle() const;
  // Runs the window's message loop for up to `timeout`: true as soon as a close request arrived.
  // The window itself stays, so the question can be asked again.
  bool CloseRequested(std::chrono::milliseconds timeout);

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace settings_testing
