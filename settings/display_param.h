// The display record handed to the game on its command line: 23 bytes, masked, keyed with the
// computer's name and written as 46 upper-case hexadecimal digits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/display_settings.h"

struct LAUNCHER_DISPLAY_PARAM {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t windowed = 0;  // 1 for a window, 0 for fullscreen
  std::int32_t vsync = 0;     // 1 for vertical sync on
  std::int32_t antiAliasing = 0;
  std::uint8_t reserved[3] = {0, 0, 0};
};
// In memory the record is padded to 24 bytes; only the first 23 are sent.
static_assert(sizeof(LAUNCHER_DISPLAY_PARAM) == 24);
inline constexpr std::size_t kDisplayParamSize = 23;

struct ScreenResolution {
  int width = 1920;
  int height = 1080;
};

// Reads "%dx%d": a decimal integer (white space and a sign allowed before it), a lower-case x,
// then another; anything after the second number is ignored. Unless both numbers are read and
// fit in 32 bits the result is 1920 x 1080.
ScreenResolution ParseResolution(std::string_view text);

// The record for the stored settings: the parsed resolution, windowed and vsync as 0 or 1.
LAUNCHER_DISPLAY_PARAM MakeDisplayParam(const DisplaySettings& settings);

// The 23 bytes as sent, every field little-endian.
std::array<std::uint8_t, kDisplayParamSize> DisplayParamBytes(const LAUNCHER_DISPLAY_PARAM& record);

// Masks each byte with 0xA7, then XORs the key stream made of the first d characters of the
// machine name (d = n for n up to 3, otherwise the largest multiple of 4 not above n, n being the
// name's length, at most 15). An empty name gives 23 zero bytes. 46 hexadecimal digits.
std::string EncodeDisplayParam(const LAUNCHER_DISPLAY_PARAM& record, std::string_view machineName);
