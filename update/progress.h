// Progress percentages of the workers' phases. Products are taken before the division, which
// drops the remainder; `count` is never 0 where these are used.
#pragma once

#include <cstdint>

namespace progress {

// Game update, local check: 30 at the start, 50 after the last of `count` entries.
constexpr std::int32_t AfterLocalCheck(std::uint64_t index, std::uint64_t count) {
  return static_cast<std::int32_t>(30 + (20 * (index + 1)) / count);
}

// Game update, downloads: 50 before the first of `count` files, below 95 before the last.
constexpr std::int32_t BeforeDownload(std::uint64_t index, std::uint64_t count) {
  return static_cast<std::int32_t>(50 + (45 * index) / count);
}

// Repair, checking: 50 after the last of `count` entries.
constexpr std::int32_t AfterVerify(std::uint64_t index, std::uint64_t count) {
  return static_cast<std::int32_t>((50 * (index + 1)) / count);
}

// Repair, downloads: 50 before the first of `count` files, below 95 before the last.
constexpr std::int32_t BeforeRepair(std::uint64_t index, std::uint64_t count) {
  return BeforeDownload(index, count);
}

}  // namespace progress
