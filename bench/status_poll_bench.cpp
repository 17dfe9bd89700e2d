// The cost of one status report (GetStatusJson, what api_getUpdateStatus answers) while a worker
// runs a verify pass over the 2 GiB client, and, for reference, while no worker runs.
// Usage: status_poll_bench [data folder] [passes]
#include <algorithm>
#include <cstdio>
#include <thread>

#include "bench/bench_support.h"
#include "bench/update_bench_data.h"
#include "tests/update/manager_access.h"
#include "update/update_manager.h"

namespace {

// Times one call a millisecond, a poll far more eager than the page's, until `busy` says stop;
// microseconds each.
template <typename Busy>
std::vector<double> TimePolls(UpdateManager& manager, Busy busy) {
  std::vector<double> micros;
  while (busy(micros.size())) {
    const auto start = std::chrono::steady_clock::now();
    const std::string report = manager.GetStatusJson();
    micros.push_back(bench::SecondsSince(start) * 1e6);
    if (report.empty()) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return micros;
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

bool WorkerRunning(UpdateManager& manager) {
  const UpdateState state = manager.CopyStatus().state;
  return state == UpdateState::Checking || state == UpdateState::Verifying ||
         state == UpdateState::Downloading;
}

void Report(const char* what, const std::vector<double>& micros) {
  std::printf("  %-28s median %.2f us  p99 %.2f us  (%zu calls)\n", what, bench::Median(micros),
              Percentile(micros, 0.99), micros.size());
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path data = bench::DataFolder(argc, argv);
  bench::IsolateLogSink(data);
  const bench::BulkTree tree = bench::PrepareBulkTree(data);
  const int passes = bench::Runs(argc, argv, 3);
  bench::FileServer server(tree.served / "patch");
  UpdateManager manager(server.PatchUrl(), tree.client.string());

  std::vector<double> working;
  for (int pass = 0; pass < passes; ++pass) {
    manager.FixClient();
    const auto polls = TimePolls(manager, [&](std::size_t) { return WorkerRunning(manager); });
    working.insert(working.end(), polls.begin(), polls.end());
    UpdateManagerTestAccess::JoinWorker(manager);
  }
  const std::size_t idleCalls = std::max<std::size_t>(working.size(), 2000);
  const auto idle = TimePolls(manager, [&](std::size_t done) { return done < idleCalls; });
  if (working.empty() || idle.empty()) {
    std::fprintf(stderr, "no status reports were taken\n");
    return 1;
  }
  std::printf("GetStatusJson, called once a millisecond on the main thread\n");
  Report("while a verify pass runs", working);
  Report("with no worker (reference)", idle);
  std::printf("  ratio (working / idle median): %.2f\n",
              bench::Median(working) / bench::Median(idle));
  return 0;
}
