#include "settings/display_param.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr std::uint8_t kMask = 0xA7;
constexpr std::size_t kMaxMachineNameLength = 15;
constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One "%d" conversion at text[at]; `at` moves past the number when it was read.
bool ScanInt(std::string_view text, std::size_t& at, int& value) {
  while (at < text.size() && IsCSpace(text[at]))
    ++at;
  std::size_t start = at;
  // from_chars takes a '-' but no '+'; after a '+' only digits may follow.
  if (start < text.size() && text[start] == '+') {
    ++start;
    if (start < text.size() && text[start] == '-') return false;
  }
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data() + start, end, value);
  if (error != std::errc()) return false;
  at = static_cast<std::size_t>(next - text.data());
  return true;
}

void PutLittleEndian(std::uint8_t* out, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i)
    out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

// How many leading characters of a name of `length` characters make the key stream.
std::size_t KeyLength(std::size_t length) {
  return length <= 3 ? length : length - length % 4;
}

}  // namespace

ScreenResolution ParseResolution(std::string_view text) {
  std::size_t at = 0;
  int width = 0;
  int height = 0;
  if (!ScanInt(text, at, width) || at >= text.size() || text[at] != 'x') return {};
  ++at;
  if (!ScanInt(text, at, height)) return {};
  return {width, height};
}

LAUNCHER_DISPLAY_PARAM MakeDisplayParam(const DisplaySettings& settings) {
  const ScreenResolution resolution = ParseResolution(settings.resolution);
  LAUNCHER_DISPLAY_PARAM record;
  record.width = resolution.width;
  record.height = resolution.height;
  record.windowed = settings.windowed ? 1 : 0;
  record.vsync = settings.vsync ? 1 : 0;
  record.antiAliasing = settings.antiAliasing;
  return record;
}

std::array<std::uint8_t, kDisplayParamSize> DisplayParamBytes(
    const LAUNCHER_DISPLAY_PARAM& record) {
  std::array<std::uint8_t, kDisplayParamSize> bytes{};
  PutLittleEndian(&bytes[0], record.width);
  PutLittleEndian(&bytes[4], record.height);
  PutLittleEndian(&bytes[8], record.windowed);
  PutLittleEndian(&bytes[12], record.vsync);
  PutLittleEndian(&bytes[16], record.antiAliasing);
  for (std::size_t i = 0; i < 3; ++i)
    bytes[20 + i] = record.reserved[i];
  return bytes;
}

std::string EncodeDisplayParam(const LAUNCHER_DISPLAY_PARAM& record, std::string_view machineName) {
  const std::size_t keyLength = KeyLength(std::min(machineName.size(), kMaxMachineNameLength));
  std::array<std::uint8_t, kDisplayParamSize> out{};
  if (keyLength > 0) {
    const std::array<std::uint8_t, kDisplayParamSize> bytes = DisplayParamBytes(record);
    for (std::size_t i = 0; i < out.size(); ++i) {
      const auto key = static_cast<std::uint8_t>(machineName[i % keyLength]);
      out[i] = static_cast<std::uint8_t>(bytes[i] ^ kMask ^ key);
    }
  }
  std::string hex;
  for (const std::uint8_t byte : out) {
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 0x0F];
  }
  return hex;
}
