// Log lines as tests compare them: "<level>|<function>: <message>", without the tag, the source
// line number, the CR LF and the NUL, which the log tests check once for all.
#pragma once

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "log/log.h"
#include "tests/support/log_capture.h"

namespace testing_support {

inline std::string ShortLogLine(const std::string& bytes) {
  static const std::regex line(R"(^LAUNCHER\|([IE])\|([^\[]*)\[\d+\]: ([\s\S]*)\r\n\0$)",
                               std::regex::ECMAScript);
  std::smatch parts;
  std::string text(bytes);
  if (!std::regex_match(text, parts, line)) return "malformed: " + bytes;
  return parts[1].str() + "|" + parts[2].str() + ": " + parts[3].str();
}

inline std::vector<std::string> ShortLogLines(const std::vector<LogMessage>& messages) {
  std::vector<std::string> lines;
  for (const LogMessage& message : messages)
    lines.push_back(ShortLogLine(message.bytes));
  return lines;
}

// Every line `log` has received up to now, since the last call when there was one: logs a closing
// line of its own and waits for it, so that nothing logged before is still on its way.
inline std::vector<std::string> LinesUntilNow(LogCapture& log) {
  static const std::string closing = "I|test: end of lines";
  LogInfoAs("test", "end of lines");
  std::vector<std::string> lines = ShortLogLines(log.Messages(1));
  while (!lines.empty() && lines.back() != closing) {
    const std::size_t before = lines.size();
    lines = ShortLogLines(log.Messages(before + 1));
    if (lines.size() == before) return {"closing line missing"};
  }
  if (!lines.empty()) lines.pop_back();
  const auto previous = std::find(lines.rbegin(), lines.rend(), closing);
  return {previous.base(), lines.end()};
}

}  // namespace testing_support
