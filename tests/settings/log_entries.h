// The lines a test's log viewer received, as "<level> <function>: <message>": the source line
// number is left out so the expectations do not move with the code.
#pragma once

#include <string>
#include <vector>

#include "tests/support/log_capture.h"

namespace settings_testing {

inline std::string LogEntry(const std::string& bytes) {
  // LAUNCHER|I|API_GetConfig[12]: GetConfig called\r\n\0
  std::string line = bytes;
  if (!line.empty() && line.back() == '\0') line.pop_back();
  if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
    line.resize(line.size() - 2);
  const std::string prefix = "LAUNCHER|";
  const std::size_t open = line.find('[');
  const std::size_t close = line.find("]: ", open);
  if (line.compare(0, prefix.size(), prefix) != 0 || open == std::string::npos ||
      close == std::string::npos || line.size() < prefix.size() + 2) {
    return "malformed: " + line;
  }
  const std::string level = line.substr(prefix.size(), 1);
  const std::string function = line.substr(prefix.size() + 2, open - prefix.size() - 2);
  return level + " " + function + ": " + line.substr(close + 3);
}

// Waits until `count` lines arrived (or the capture's timeout passed) and returns all of them.
inline std::vector<std::string> LogEntries(testing_support::LogCapture& capture,
                                           std::size_t count) {
  std::vector<std::string> entries;
  for (const testing_support::LogMessage& message : capture.Messages(count))
    entries.push_back(LogEntry(message.bytes));
  return entries;
}

}  // namespace settings_testing
