// DownloadToFile of a 1 GiB file from a loopback server against `curl -o` from the same server in
// the same run, and the peak resident memory the downloads add to this process.
// Usage: download_bench [data folder] [runs]
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "bench/bench_support.h"
#include "update/update_manager.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSize = 1ull << 30;

struct Figures {
  std::vector<double> ours;
  std::vector<double> reference;
  long peakAddedKiB = 0;
};

bool Measure(UpdateManager& manager, const std::string& url, const fs::path& target, int runs,
             Figures& figures) {
  for (int run = 0; run < runs; ++run) {
    fs::remove(target);
    const long idle = bench::ResidentKiB();
    bench::ResetPeakResident();
    const auto start = std::chrono::steady_clock::now();
    const bool downloaded = manager.DownloadToFile(url, target.string());
    figures.ours.push_back(bench::SecondsSince(start));
    figures.peakAddedKiB = std::max(figures.peakAddedKiB, bench::PeakResidentKiB() - idle);
    if (!downloaded || fs::file_size(target) != kSize) return false;
    fs::remove(target);
    const double seconds = bench::TimeCommand({"curl", "-s", "-o", target.string(), url});
    if (seconds < 0 || fs::file_size(target) != kSize) return false;
    figures.reference.push_back(seconds);
  }
  fs::remove(target);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
  const int runs = argc > 2 ? std::stoi(argv[2]) : 5;
  const fs::path served = folder / "velmora-download-bench";
  fs::create_directories(served);
  bench::PrepareDataFile((served / "client.bin").string(), kSize);
  Figures figures;
  bool ok = false;
  {
    const bench::FileServer server(served);
    UpdateManager manager(server.PatchUrl(), folder.string());
    ok = Measure(manager, server.PatchUrl() + "client.bin", folder / "velmora-downloaded.bin", runs,
                 figures);
  }
  fs::remove_all(served);
  if (!ok) {
    std::fprintf(stderr, "a download failed (is curl installed?)\n");
    return 1;
  }
  const double oursRate = 1.0 / bench::Median(figures.ours);
  const double referenceRate = 1.0 / bench::Median(figures.reference);
  std::printf("Download of 1 GiB from a loopback server, %d runs\n", runs);
  std::printf("  DownloadToFile  median %.3f s  %.2f GiB/s\n", bench::Median(figures.ours),
              oursRate);
  std::printf("  curl -o         median %.3f s  %.2f GiB/s\n", bench::Median(figures.reference),
              referenceRate);
  std::printf("  ratio (DownloadToFile / curl): %.3f   goal >= 0.9\n", oursRate / referenceRate);
  std::printf("  peak resident memory added by a download: %.2f MiB   goal < 16 MiB\n",
              static_cast<double>(figures.peakAddedKiB) / 1024);
  return 0;
}
