// The status report with any texts in it: the output always parses as JSON, has its eleven
// members, and gives back every text that was valid UTF-8 unchanged.
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "update/update_status.h"

namespace {

// Splits the input at NUL bytes into the report's texts.
std::string NextText(const std::string& input, std::size_t& position) {
  const std::size_t end = std::min(input.find('\0', position), input.size());
  std::string text = input.substr(position, end - position);
  position = end < input.size() ? end + 1 : end;
  return text;
}

bool IsValidUtf8(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t position = 0;
  UpdateStatus status;
  status.state = static_cast<UpdateState>(size > 0 ? static_cast<std::int8_t>(data[0]) : 0);
  status.progress = static_cast<std::int32_t>(size * 7919);
  status.message = NextText(input, position);
  status.errorDetail = NextText(input, position);
  status.currentVersion = NextText(input, position);
  status.latestVersion = NextText(input, position);
  status.bytesTotal = static_cast<std::uint64_t>(-1) - size;

  const nlohmann::json report = nlohmann::json::parse(FormatStatusReport(status));  // aborts if not
  if (report.size() != 11) std::abort();
  if (IsValidUtf8(status.message) && report["message"] != status.message) std::abort();
  if (IsValidUtf8(status.errorDetail) && report["errorDetail"] != status.errorDetail) std::abort();
  return 0;
}
