// What the page sees of a worker run: the status report polled every millisecond, and the
// expected order of statuses to hold it against.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "update/update_manager.h"

namespace testing_support {

// One status of the report, as the page reads it.
struct PageStatus {
  std::string state;
  int progress = 0;
  std::string message;
  bool canStart = false;
};

// Polls GetStatusJson every millisecond on a thread of its own while a worker runs, far more
// often than the page does, and keeps each status that differs from the one before. A report
// that does not parse as JSON is counted, not kept.
class StatusPoller {
 public:
  explicit StatusPoller(UpdateManager& manager);
  ~StatusPoller();
  StatusPoller(const StatusPoller&) = delete;
  StatusPoller& operator=(const StatusPoller&) = delete;

  // Stops polling after one last poll; the results are complete afterwards.
  void Stop();
  const std::vector<PageStatus>& Seen() const { return seen_; }
  int Unparsable() const { return unparsable_; }

 private:
  void PollOnce();

  UpdateManager& manager_;
  std::atomic<bool> stop_{false};
  std::vector<PageStatus> seen_;
  int unparsable_ = 0;
  std::thread thread_;
};

// One status a run goes through: state name, progress and message.
struct Step {
  std::string state;
  int progress;
  std::string message;
};

// The status line the engine logs for each step: "<message> (<progress>%)". Steps in the "error"
// state are written by SetError and log no status line; they are left out.
std::vector<std::string> StatusLinesOf(const std::vector<Step>& steps);

// Every polled status is one of `expected`, in the same order, with the start button enabled
// only in idle, complete, up-to-date and after an error; the last one polled is the last one
// expected.
testing::AssertionResult SeenInOrder(const std::vector<PageStatus>& seen,
                                     const std::vector<Step>& expected);

}  // namespace testing_support
