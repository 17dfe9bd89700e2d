#include "settings/request_fields.h"

#include <algorithm>
#include <limits>

namespace {

// Index just past "key": (and the opening quote when `quoted`), or npos.
std::size_t ValueStart(const std::string& text, const std::string& key, bool quoted) {
  const std::string pattern = "\"" + key + "\":" + (quoted ? "\"" : "");
  const std::size_t at = text.find(pattern);
  return at == std::string::npos ? at : at + pattern.size();
}

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string UndoQuoteAndBackslashEscapes(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) {
      ++i;
    }
    result += text[i];
  }
  return result;
}

}  // namespace

std::string UnwrapRequest(const std::string& request) {
  if (request.size() <= 4 || request[0] != '[' || request[1] != '"') return request;
  const std::size_t end = request.rfind("\"]");
  if (end == std::string::npos || end <= 2) return request;
  return UndoQuoteAndBackslashEscapes(request.substr(2, end - 2));
}

std::string ExtractStringField(const std::string& text, const std::string& key) {
  const std::size_t start = ValueStart(text, key, true);
  if (start == std::string::npos) return {};
  const std::size_t end = text.find('"', start);
  if (end == std::string::npos) return {};
  return text.substr(start, end - start);
}

bool ExtractBoolField(const std::string& text, const std::string& key) {
  const std::size_t start = ValueStart(text, key, false);
  return start != std::string::npos && text.compare(start, 4, "true") == 0;
}

std::int32_t ExtractIntField(const std::string& text, const std::string& key) {
  std::size_t at = ValueStart(text, key, false);
  if (at == std::string::npos) return 0;
  while (at < text.size() && IsCSpace(text[at]))
    ++at;
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  // Accumulated as a magnitude that stops one past the largest positive value.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    magnitude = std::min(kLimit, magnitude * 10 + (text[at] - '0'));
  }
  if (negative) return static_cast<std::int32_t>(-magnitude);
  return static_cast<std::int32_t>(std::min(magnitude, kLimit - 1));
}

DisplaySettings SettingsFromRequestText(const std::string& text) {
  DisplaySettings settings;
  settings.resolution = ExtractStringField(text, "resolution");
  settings.windowed = ExtractBoolField(text, "windowed");
  settings.vsync = ExtractBoolField(text, "vsync");
  settings.antiAliasing = ExtractIntField(text, "antiAliasing");
  return settings;
}
