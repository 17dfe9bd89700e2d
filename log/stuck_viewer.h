// What the log sink remembers about a viewer that made a line wait in vain.
//
// A line waits at most kViewerWait for the viewer to take it and is then dropped. A viewer that
// let a line time out is marked stuck, and while the mark holds, lines for that same viewer do
// not wait at all, so a viewer that stopped reading costs the launcher one wait, not one wait per
// line. The mark ends when a line reaches that viewer, when another viewer takes its place, or
// once `retryAfter` has passed since the time-out, when one line may wait in full again.
//
// Any thread logs: the mark is two atomics, and a race between them costs at most one extra wait
// or one line sent without waiting.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace logging {

// The longest time one line waits for the viewer.
inline constexpr std::chrono::milliseconds kViewerWait{1000};

class StuckViewerMark {
 public:
  using Clock = std::chrono::steady_clock;

  // `viewer` values identify a viewer (a window, a socket file); 0 is never a viewer.
  explicit StuckViewerMark(Clock::duration retryAfter) : retryAfter_(retryAfter) {}

  // Whether a line for `viewer` may wait the full kViewerWait at `now`.
  bool MayWait(std::uint64_t viewer, Clock::time_point now) const;
  // A line for `viewer` waited the full time in vain at `now`.
  void TimedOut(std::uint64_t viewer, Clock::time_point now);
  // A line reached `viewer`.
  void Delivered(std::uint64_t viewer);

 private:
  const Clock::duration retryAfter_;
  std::atomic<std::uint64_t> stuckViewer_{0};
  std::atomic<Clock::rep> stuckSince_{0};
};

}  // namespace logging
