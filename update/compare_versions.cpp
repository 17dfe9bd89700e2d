#include "update/compare_versions.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <vector>

namespace {

std::int32_t ReadPart(const std::string& part) {
  const long long value = std::strtoll(part.c_str(), nullptr, 10);
  constexpr long long kLowest = std::numeric_limits<std::int32_t>::min();
  constexpr long long kHighest = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp(value, kLowest, kHighest));
}

std::vector<std::int32_t> ReadParts(const std::string& version) {
  std::vector<std::int32_t> numbers;
  std::istringstream text(version);
  std::string part;
  while (std::getline(text, part, '.'))
    numbers.push_back(ReadPart(part));
  return numbers;
}

}  // namespace

int CompareVersions(const std::string& a, const std::string& b) {
  const std::vector<std::int32_t> left = ReadParts(a);
  const std::vector<std::int32_t> right = ReadParts(b);
  const std::size_t count = std::max(left.size(), right.size());
  for (std::size_t i = 0; i < count; ++i) {
    const std::int32_t x = i < left.size() ? left[i] : 0;
    const std::int32_t y = i < right.size() ? right[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}
