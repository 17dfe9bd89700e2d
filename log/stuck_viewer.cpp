#include "log/stuck_viewer.h"

namespace logging {

bool StuckViewerMark::MayWait(std::uint64_t viewer, Clock::time_point now) const {
  if (viewer == 0 || stuckViewer_.load() != viewer) return true;
  const Clock::time_point since{Clock::duration(stuckSince_.load())};
  return now - since >= retryAfter_;
}

void StuckViewerMark::TimedOut(std::uint64_t viewer, Clock::time_point now) {
  stuckSince_.store(now.time_since_epoch().count());
  stuckViewer_.store(viewer);
}

void StuckViewerMark::Delivered(std::uint64_t viewer) {
  std::uint64_t expected = viewer;
  stuckViewer_.compare_exchange_strong(expected, 0);
}

}  // namespace logging
