// A real log viewer for tests: on Linux a socket bound where the launcher sends its lines, on
// Windows the LogViewer.exe window started as a separate process.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

struct LogMessage {
  std::uint64_t tag = 0;  // dwData on Windows; always 0 on Linux
  std::string bytes;      // exactly what arrived, the terminating NUL included
};

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();  // stops the viewer
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Starts the viewer and returns once the launcher's sink can reach it.
  void Start();
  // The messages received so far, waiting up to `timeout` until there are at least `count`.
  std::vector<LogMessage> Messages(std::size_t count = 0,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(10));

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Points the process's log sink at a private, empty place, so that a viewer the developer runs
// receives nothing from the tests and each test program sees only its own capture. Call once
// before any thread is started (a gtest Environment does).
void IsolateLogSink();

}  // namespace testing_support
