// The large game client the update benchmarks share: 10,000 files of mixed sizes, 2 GiB in all,
// published as a patch tree and served from a loopback patch server process.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

struct BulkTree {
  std::filesystem::path client;  // the client folder; also an installed copy to verify
  std::filesystem::path served;  // the server's folder: the patch tree is its "patch" folder
  std::vector<std::string> paths;
  std::uint64_t bytes = 0;
};

constexpr std::size_t kBulkFiles = 10000;
constexpr std::uint64_t kBulkBytes = 2ull << 30;

// Writes the client and publishes it under `folder` unless an earlier run left them complete
// there; either way reads every file once, so that later passes find them in the page cache.
BulkTree PrepareBulkTree(const std::filesystem::path& folder);

// Points the launcher's log sink at an empty folder of `folder`, so that a log viewer someone runs
// on this machine neither receives the benchmark's lines nor slows them down. Call first.
void IsolateLogSink(const std::filesystem::path& folder);

// The folder benchmarks keep their data in: the first argument, or build/bench-data.
std::filesystem::path DataFolder(int argc, char** argv);
// The number of runs: the second argument, or `fallback`.
int Runs(int argc, char** argv, int fallback);

}  // namespace bench
