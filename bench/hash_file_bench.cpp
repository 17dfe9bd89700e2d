// HashFile's throughput on a 1 GiB file in the page cache, against `xxhsum -H3` on the same file
// in the same run. Usage: hash_file_bench [data folder] [runs]
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "update/file_hash.h"

int main(int argc, char** argv) {
  constexpr std::uint64_t kSize = 1ull << 30;
  const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  const int runs = argc > 2 ? std::stoi(argv[2]) : 7;
  const std::string file = (folder / "velmora-hash-bench.bin").string();
  bench::PrepareDataFile(file, kSize);

  std::vector<double> ours;
  std::vector<double> reference;
  std::string digest;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    digest = HashFile(file);
    ours.push_back(bench::SecondsSince(start));
    const double seconds = bench::TimeCommand({"xxhsum", "-H3", file});
    if (seconds < 0) {
      std::fprintf(stderr, "xxhsum -H3 failed: install the xxhash package\n");
      return 1;
    }
    reference.push_back(seconds);
  }
  const double gib = static_cast<double>(kSize) / (1ull << 30);
  const double oursRate = gib / bench::Median(ours);
  const double referenceRate = gib / bench::Median(reference);
  std::printf("HashFile, 1 GiB in the page cache, %d runs (digest %s)\n", runs, digest.c_str());
  std::printf("  HashFile      median %.3f s  %.2f GiB/s\n", bench::Median(ours), oursRate);
  std::printf("  xxhsum -H3    median %.3f s  %.2f GiB/s\n", bench::Median(reference),
              referenceRate);
  std::printf("  ratio (HashFile / xxhsum): %.3f   goal >= 0.95\n", oursRate / referenceRate);
  std::filesystem::remove(file);
  return 0;
}
