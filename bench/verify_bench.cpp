// A verify pass ("Fix Client" finding nothing to fix) over a 2 GiB client of 10,000 files, warm
// cache, against `xxhsum -H3` hashing the same files, in the same run.
// Usage: verify_bench [data folder] [runs]
#include <cstdio>

#include "bench/bench_support.h"
#include "bench/update_bench_data.h"
#include "tests/update/manager_access.h"
#include "update/update_manager.h"

namespace {

// One verify pass, timed from the request to the worker's end; negative when it did not find
// every file intact.
double TimeVerifyPass(UpdateManager& manager) {
  const auto start = std::chrono::steady_clock::now();
  manager.FixClient();
  UpdateManagerTestAccess::JoinWorker(manager);
  const double seconds = bench::SecondsSince(start);
  return manager.CopyStatus().message == "All files verified successfully!" ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path data = bench::DataFolder(argc, argv);
  bench::IsolateLogSink(data);
  const bench::BulkTree tree = bench::PrepareBulkTree(data);
  const int runs = bench::Runs(argc, argv, 5);
  bench::FileServer server(tree.served / "patch");
  UpdateManager manager(server.PatchUrl(), tree.client.string());

  std::vector<std::string> xxhsum{"xxhsum", "-H3"};
  for (const auto& path : tree.paths)
    xxhsum.push_back((tree.client / path).string());

  std::vector<double> ours, reference;
  for (int run = 0; run < runs; ++run) {
    ours.push_back(TimeVerifyPass(manager));
    reference.push_back(bench::TimeCommand(xxhsum));
    if (ours.back() < 0 || reference.back() < 0) {
      std::fprintf(stderr, "a pass failed (is xxhsum installed?)\n");
      return 1;
    }
  }
  const double gib = static_cast<double>(tree.bytes) / (1ull << 30);
  const double oursRate = gib / bench::Median(ours);
  const double referenceRate = gib / bench::Median(reference);
  std::printf("Verify pass over %zu files, %.2f GiB, warm cache, %d runs\n", tree.paths.size(), gib,
              runs);
  std::printf("  VerifyWorker  median %.3f s  %.2f GiB/s\n", bench::Median(ours), oursRate);
  std::printf("  xxhsum -H3    median %.3f s  %.2f GiB/s\n", bench::Median(reference),
              referenceRate);
  std::printf("  ratio (VerifyWorker / xxhsum): %.3f   goal >= 0.9\n", oursRate / referenceRate);
  return 0;
}
