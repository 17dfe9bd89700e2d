// The sink's memory of a viewer that let a line time out: which later lines may wait for it.
#include "log/stuck_viewer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using logging::StuckViewerMark;
using Clock = StuckViewerMark::Clock;
using std::chrono::seconds;

enum class Event { TimedOut, Delivered, Ask };

struct Step {
  Event event;
  std::uint64_t viewer;
  int atSecond;
  bool mayWait = false;  // for Ask: the expected answer
};

struct Case {
  std::string name;
  std::vector<Step> steps;
};

constexpr std::uint64_t kA = 0x1234;
constexpr std::uint64_t kB = 0x5678;

TEST(StuckViewerMark, DecidesWhichLinesMayWait) {
  const std::vector<Case> cases = {
      {"a viewer never seen may always be waited for", {{Event::Ask, kA, 0, true}}},
      {"after a time-out the same viewer is not waited for",
       {{Event::TimedOut, kA, 10}, {Event::Ask, kA, 10, false}, {Event::Ask, kA, 14, false}}},
      {"the mark expires once the retry time has passed",
       {{Event::TimedOut, kA, 10}, {Event::Ask, kA, 15, true}}},
      {"another viewer in its place is waited for at once",
       {{Event::TimedOut, kA, 10}, {Event::Ask, kB, 10, true}, {Event::Ask, kA, 11, false}}},
      {"a line that reaches the stuck viewer ends the mark",
       {{Event::TimedOut, kA, 10}, {Event::Delivered, kA, 11}, {Event::Ask, kA, 11, true}}},
      {"a line that reaches another viewer leaves the mark",
       {{Event::TimedOut, kA, 10}, {Event::Delivered, kB, 11}, {Event::Ask, kA, 11, false}}},
      {"a second time-out starts the retry time anew",
       {{Event::TimedOut, kA, 10},
        {Event::TimedOut, kA, 15},
        {Event::Ask, kA, 19, false},
        {Event::Ask, kA, 20, true}}},
      {"the mark follows the viewer that timed out last",
       {{Event::TimedOut, kA, 10}, {Event::TimedOut, kB, 11}, {Event::Ask, kA, 11, true}}},
  };
  for (const Case& test : cases) {
    StuckViewerMark mark(seconds(5));
    for (std::size_t i = 0; i < test.steps.size(); ++i) {
      const Step& step = test.steps[i];
      const Clock::time_point at{seconds(step.atSecond)};
      switch (step.event) {
        case Event::TimedOut:
          mark.TimedOut(step.viewer, at);
          break;
        case Event::Delivered:
          mark.Delivered(step.viewer);
          break;
        case Event::Ask:
          EXPECT_EQ(mark.MayWait(step.viewer, at), step.mayWait) << test.name << ", step " << i;
          break;
      }
    }
  }
}

TEST(StuckViewerMark, WithoutARetryTimeOnlyADeliveryEndsTheMark) {
  StuckViewerMark mark(Clock::duration::max());
  mark.TimedOut(kA, Clock::time_point{seconds(10)});
  EXPECT_FALSE(mark.MayWait(kA, Clock::time_point{seconds(1000000)}));
  mark.Delivered(kA);
  EXPECT_TRUE(mark.MayWait(kA, Clock::time_point{seconds(1000000)}));
}

}  // namespace
