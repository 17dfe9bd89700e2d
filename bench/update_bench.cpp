// A full game update of a 2 GiB client of 10,000 files into an empty folder from a loopback
// server, against one curl process fetching the same files one after another (a connection
// each) from the same server, in the same run.
// Usage: update_bench [data folder] [runs]
#include <cstdio>
#include <fstream>

#include "bench/bench_support.h"
#include "bench/update_bench_data.h"
#include "tests/update/manager_access.h"
#include "update/update_manager.h"

namespace fs = std::filesystem;

namespace {

// One update into an empty `folder`, timed from the request to the worker's end; negative when
// it did not install every file.
double TimeUpdate(const std::string& patchUrl, const fs::path& folder, std::size_t files) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  UpdateManager manager(patchUrl, folder.string());
  const auto start = std::chrono::steady_clock::now();
  manager.CheckUpdate();
  UpdateManagerTestAccess::JoinWorker(manager);
  const double seconds = bench::SecondsSince(start);
  const UpdateStatus status = manager.CopyStatus();
  const bool complete = status.message == "Update complete! Ready to play" &&
                        status.filesComplete == static_cast<std::int32_t>(files);
  return complete ? seconds : -1;
}

// A curl configuration that fetches every file of the tree, in manifest order, into `folder`.
fs::path CurlConfig(const bench::BulkTree& tree, const std::string& patchUrl,
                    const fs::path& folder) {
  const fs::path config = tree.served.parent_path() / "curl-fetch-all.conf";
  std::ofstream out(config);
  // A connection per file, as the launcher makes; on a kept-alive connection the file server's
  // small writes stall on delayed acknowledgements and curl would measure those instead.
  out << "silent\nfail\ncreate-dirs\nheader = \"Connection: close\"\n";
  for (const auto& path : tree.paths) {
    out << "url = \"" << patchUrl << "files/" << path << "\"\n";
    out << "output = \"" << (folder / path).string() << "\"\n";
  }
  return config;
}

double TimeCurl(const fs::path& config, const fs::path& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  return bench::TimeCommand({"curl", "--config", config.string()});
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path data = bench::DataFolder(argc, argv);
  bench::IsolateLogSink(data);
  const bench::BulkTree tree = bench::PrepareBulkTree(data);
  const int runs = bench::Runs(argc, argv, 3);
  bench::FileServer server(tree.served / "patch");
  const fs::path ourFolder = data / "update target";
  const fs::path curlFolder = data / "curl target";
  const fs::path config = CurlConfig(tree, server.PatchUrl(), curlFolder);

  std::vector<double> ours, reference;
  for (int run = 0; run < runs; ++run) {
    ours.push_back(TimeUpdate(server.PatchUrl(), ourFolder, tree.paths.size()));
    fs::remove_all(ourFolder);
    reference.push_back(TimeCurl(config, curlFolder));
    fs::remove_all(curlFolder);
    if (ours.back() < 0 || reference.back() < 0) {
      std::fprintf(stderr, "a run failed (is curl installed?)\n");
      return 1;
    }
  }
  fs::remove(config);
  const double gib = static_cast<double>(tree.bytes) / (1ull << 30);
  const double oursRate = gib / bench::Median(ours);
  const double referenceRate = gib / bench::Median(reference);
  std::printf("Full update of %zu files, %.2f GiB, from a loopback server, %d runs\n",
              tree.paths.size(), gib, runs);
  std::printf("  UpdateWorker        median %.3f s  %.2f GiB/s\n", bench::Median(ours), oursRate);
  std::printf("  curl, one by one    median %.3f s  %.2f GiB/s\n", bench::Median(reference),
              referenceRate);
  std::printf("  ratio (UpdateWorker / curl): %.3f   goal >= 0.9\n", oursRate / referenceRate);
  return 0;
}
