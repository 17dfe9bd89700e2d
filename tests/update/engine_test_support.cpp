#include "tests/update/engine_test_support.h"

#include <xxhash.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "log/log.h"
#include "tests/update/loopback_server.h"
#include "tests/update/manager_access.h"
#include "update/file_hash.h"

namespace testing_support {

namespace {

constexpr char kEndMarker[] = "--- end of the lines under test ";

std::string TextOf(const LogMessage& message) {
  std::string text = message.bytes;
  while (!text.empty() && (text.back() == '\0' || text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  return text;
}

}  // namespace

void FinishWorker(UpdateManager& manager) {
  UpdateManagerTestAccess::JoinWorker(manager);
}

UpdateStatus StatusOf(UpdateManager& manager) {
  return manager.CopyStatus();
}

std::vector<std::string> LoggedLines(LogCapture& viewer) {
  // A line of our own marks the end: the viewer has everything logged before it once it arrives.
  static std::atomic<int> calls{0};
  const std::string marker = kEndMarker + std::to_string(++calls) + " ---";
  LogInfo("%s", marker.c_str());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::vector<std::string> lines;
  while (std::chrono::steady_clock::now() < deadline) {
    lines.clear();
    for (const LogMessage& message : viewer.Messages())
      lines.push_back(TextOf(message));
    const bool complete = std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(marker) != std::string::npos;
    });
    if (complete) {
      std::erase_if(lines, [](const std::string& line) {
        return line.find(kEndMarker) != std::string::npos;
      });
      return lines;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return lines;
}

std::vector<std::string> StatusLines(const std::vector<std::string>& lines) {
  static const std::string kPrefix = "LAUNCHER|I|UpdateManager::SetStatus[";
  std::vector<std::string> messages;
  for (const std::string& line : lines) {
    if (line.rfind(kPrefix, 0) != 0) continue;
    const std::size_t start = line.find("]: UpdateManager: ");
    if (start != std::string::npos) messages.push_back(line.substr(start + 18));
  }
  return messages;
}

std::string Pattern(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    data[i] = static_cast<char>(i % 251);
  return data;
}

std::string HashOf(const std::string& content) {
  return FormatHashText(XXH3_64bits(content.data(), content.size()));
}

std::string ManifestFor(const std::vector<PublishedFile>& files) {
  std::string text = R"({"version":"2.0","files":[)";
  for (std::size_t i = 0; i < files.size(); ++i) {
    text += (i ? "," : "") + std::string(R"({"path":")") + files[i].path + R"(","hash":")" +
            HashOf(files[i].content) + R"(","size":)" + std::to_string(files[i].content.size()) +
            "}";
  }
  return text + "]}";
}

bool AnyLineHas(const std::vector<std::string>& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

}  // namespace testing_support
