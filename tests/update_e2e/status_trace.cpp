#include "tests/update_e2e/status_trace.h"

#include <chrono>

#include <nlohmann/json.hpp>

namespace testing_support {

StatusPoller::StatusPoller(UpdateManager& manager) : manager_(manager) {
  thread_ = std::thread([this] {
    while (!stop_) {
      PollOnce();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    PollOnce();
  });
}

StatusPoller::~StatusPoller() {
  Stop();
}

void StatusPoller::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void StatusPoller::PollOnce() {
  const nlohmann::json report = nlohmann::json::parse(manager_.GetStatusJson(), nullptr, false);
  if (report.is_discarded() || !report.is_object()) {
    ++unparsable_;
    return;
  }
  PageStatus status{report.value("state", ""), report.value("progress", -1),
                    report.value("message", ""), report.value("canStart", false)};
  if (seen_.empty() || status.state != seen_.back().state ||
      status.progress != seen_.back().progress || status.message != seen_.back().message)
    seen_.push_back(std::move(status));
}

std::vector<std::string> StatusLinesOf(const std::vector<Step>& steps) {
  std::vector<std::string> lines;
  for (const Step& step : steps) {
    if (step.state != "error")
      lines.push_back(step.message + " (" + std::to_string(step.progress) + "%)");
  }
  return lines;
}

namespace {

bool Matches(const PageStatus& seen, const Step& step) {
  return seen.state == step.state && seen.progress == step.progress && seen.message == step.message;
}

std::string Show(const PageStatus& status) {
  return status.state + " " + std::to_string(status.progress) + " \"" + status.message + "\"";
}

}  // namespace

testing::AssertionResult SeenInOrder(const std::vector<PageStatus>& seen,
                                     const std::vector<Step>& expected) {
  if (seen.empty() || expected.empty()) return testing::AssertionFailure() << "nothing to compare";
  // Until the worker's first status the report shows what the previous run left; the start may
  // already have claimed the state as "checking".
  auto first = seen.begin();
  while (first != seen.end() && !Matches(*first, expected.front()) &&
         first->message == seen.front().message && first->progress == seen.front().progress)
    ++first;
  std::size_t next = 0;
  for (auto it = first; it != seen.end(); ++it) {
    const PageStatus& status = *it;
    while (next < expected.size() && !Matches(status, expected[next]))
      ++next;
    if (next == expected.size())
      return testing::AssertionFailure() << "unexpected or out of order: " << Show(status);
    const bool startable =
        status.state == "idle" || status.state == "complete" || status.state == "uptodate" ||
        status.state == "error";  // SetError enables the button: the game may start anyway
    if (status.canStart != startable)
      return testing::AssertionFailure() << "canStart wrong in " << Show(status);
  }
  if (!Matches(seen.back(), expected.back()))
    return testing::AssertionFailure() << "ended in " << Show(seen.back());
  return testing::AssertionSuccess();
}

}  // namespace testing_support
