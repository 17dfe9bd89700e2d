// The launcher's log socket for benchmarks: receives every line and notes when it arrived.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace bench {

class TimedLogListener {
 public:
  using Clock = std::chrono::steady_clock;

  // Listens where the launcher sends its lines ($XDG_RUNTIME_DIR/TarsenWndLog).
  TimedLogListener();
  ~TimedLogListener();
  TimedLogListener(const TimedLogListener&) = delete;
  TimedLogListener& operator=(const TimedLogListener&) = delete;

  // When the first line holding `text` arrived at or after `after`, if one has.
  std::optional<Clock::time_point> FirstLineWith(const std::string& text,
                                                 Clock::time_point after = {});
  std::optional<Clock::time_point> FirstLine();
  void Clear();

 private:
  void Receive();

  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread receiver_;
  std::mutex mutex_;
  std::vector<std::pair<std::string, Clock::time_point>> lines_;
};

}  // namespace bench
