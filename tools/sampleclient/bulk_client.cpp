// A large client of many files of mixed sizes, for measurements.
#include <cstdio>

#include "tools/sampleclient/sample_client.h"
#include "tools/sampleclient/sample_content.h"

namespace sample_client {

namespace {

constexpr std::size_t kFilesPerFolder = 100;

std::string BulkPath(std::size_t index) {
  char path[64];
  std::snprintf(path, sizeof(path), "bulk/folder_%03zu/file_%05zu.pak", index / kFilesPerFolder,
                index);
  return path;
}

// Weights spread evenly over powers of two from 1 to 2^11, so sizes range over more than three
// orders of magnitude. Integer arithmetic only: the same sizes on every platform.
std::vector<std::uint64_t> MixedWeights(std::size_t count) {
  ByteStream random(0x5eed);
  std::vector<std::uint64_t> weights(count);
  for (auto& weight : weights) {
    const std::uint64_t r = random.Next();
    const unsigned exponent = static_cast<unsigned>(r % 12);
    weight = (1ULL << exponent) + (r >> 16) % (1ULL << exponent);
  }
  return weights;
}

}  // namespace

std::vector<SampleFile> BulkClientFiles(std::size_t count, std::uint64_t totalBytes) {
  const std::vector<std::uint64_t> weights = MixedWeights(count);
  std::uint64_t weightSum = 0;
  for (const auto weight : weights)
    weightSum += weight;

  std::vector<SampleFile> files;
  files.reserve(count);
  std::uint64_t assigned = 0;
  for (std::size_t i = 0; i < count; ++i) {
    // totalBytes * weight / weightSum without overflowing 64 bits for large trees.
    const std::uint64_t share =
        totalBytes / weightSum * weights[i] + totalBytes % weightSum * weights[i] / weightSum;
    files.push_back({BulkPath(i), share, 0xb000000 + i});
    assigned += share;
  }
  if (!files.empty()) files.back().size += totalBytes - assigned;
  return files;
}

}  // namespace sample_client
