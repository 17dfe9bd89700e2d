// What a real viewer receives: exact bytes, lengths around the 1,024-byte boundary, a viewer that
// comes and goes, and lines from several threads.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "log/log.h"
#include "tests/support/log_capture.h"

using testing_support::LogCapture;
using testing_support::LogMessage;

// A class in the global namespace, as the launcher's engine is: its lines carry "Class::member".
struct LogProbe {
  static int InfoLine() { return __LINE__ + 1; }
  static void Info(const char* text) { LogInfo("Probe says %s (%d%%)", text, 42); }
  static int ErrorLine() { return __LINE__ + 1; }
  static void Error(unsigned code) { LogError("Failed to rename, error=%u", code); }
  static int TextLine() { return __LINE__ + 1; }
  static void Text(const std::string& text) { LogInfo("%s", text.c_str()); }
};

namespace {

std::string Line(const char* level, const char* function, int line, const std::string& message) {
  return std::string("LAUNCHER|") + level + "|" + function + "[" + std::to_string(line) +
         "]: " + message + "\r\n";
}

// The text a viewer shows: the message without its NUL.
std::string TextOf(const LogMessage& message) {
  EXPECT_FALSE(message.bytes.empty());
  EXPECT_EQ(message.bytes.back(), '\0') << "every message carries its terminating NUL";
  return message.bytes.substr(0, message.bytes.size() - 1);
}

// The message for LogProbe::Text that makes its whole line exactly `total` bytes long.
std::string FillTo(std::size_t total) {
  const std::size_t frame = Line("I", "LogProbe::Text", LogProbe::TextLine(), "").size();
  return std::string(total - frame, 'x');
}

}  // namespace

TEST(LogLine, ViewerReceivesTheExactBytesWithTagZeroAndTheNul) {
  LogCapture viewer;
  viewer.Start();
  LogProbe::Info("hello");
  LogProbe::Error(183);

  const auto messages = viewer.Messages(2);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].tag, 0u);
  EXPECT_EQ(messages[0].bytes,
            Line("I", "LogProbe::Info", LogProbe::InfoLine(), "Probe says hello (42%)") +
                std::string(1, '\0'));
  EXPECT_EQ(messages[1].bytes,
            Line("E", "LogProbe::Error", LogProbe::ErrorLine(), "Failed to rename, error=183") +
                std::string(1, '\0'));
}

TEST(LogLine, LinesAtAndPastTheBufferSizeArriveWhole) {
  LogCapture viewer;
  viewer.Start();
  for (std::size_t total : {1023u, 1024u, 5000u})
    LogProbe::Text(FillTo(total));

  const auto messages = viewer.Messages(3);
  ASSERT_EQ(messages.size(), 3u);
  std::size_t i = 0;
  for (std::size_t total : {1023u, 1024u, 5000u}) {
    const std::string text = TextOf(messages[i++]);
    EXPECT_EQ(text.size(), total);
    EXPECT_EQ(messages[i - 1].bytes.size(), total + 1) << "cbData is the length plus the NUL";
    EXPECT_EQ(text.substr(text.size() - 4), "xx\r\n");
  }
}

TEST(LogLine, ViewerStartedMidRunGetsOnlyTheLaterLines) {
  LogProbe::Text("before any viewer");  // dropped: nobody listens
  LogCapture viewer;
  viewer.Start();
  LogProbe::Text("after the viewer started");

  const auto messages = viewer.Messages(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(TextOf(messages[0]).find("after the viewer started"), std::string::npos);
}

TEST(LogLine, LinesFromSeveralThreadsNeverInterleave) {
  constexpr int kThreads = 4;
  constexpr int kLinesEach = 150;
  LogCapture viewer;
  viewer.Start();

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      // Long lines, so that an interleaved write would be visible inside a message.
      const std::string body(600, static_cast<char>('a' + t));
      for (int n = 0; n < kLinesEach; ++n) {
        LogProbe::Text(std::to_string(t) + ":" + std::to_string(n) + ":" + body);
      }
    });
  }
  for (auto& thread : threads)
    thread.join();

  const auto messages = viewer.Messages(kThreads * kLinesEach);
  ASSERT_EQ(messages.size(), static_cast<std::size_t>(kThreads * kLinesEach));
  std::set<std::string> seen;
  for (const auto& message : messages) {
    const std::string text = TextOf(message);
    const std::size_t start = text.find("]: ") + 3;
    const int thread = text[start] - '0';
    ASSERT_TRUE(thread >= 0 && thread < kThreads) << text;
    const std::string expectedBody(600, static_cast<char>('a' + thread));
    EXPECT_EQ(text.substr(text.size() - 602), expectedBody + "\r\n");
    seen.insert(text.substr(start, text.find(':', start + 2) - start));
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLinesEach)) << "no line lost";
}
