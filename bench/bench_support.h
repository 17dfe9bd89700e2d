// Small helpers of the benchmark programs: timing, medians, child processes and test data.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

double SecondsSince(std::chrono::steady_clock::time_point start);

double Median(std::vector<double> values);

// Runs `argv` (argv[0] found on PATH), standard output discarded; returns its wall time in
// seconds, or a negative value when it could not run or failed.
double TimeCommand(const std::vector<std::string>& argv);

// Starts `argv` in the background and returns its process id; its output and error go to `output`
// when it is set.
int StartBackground(const std::vector<std::string>& argv, const std::string& output = "");
void Stop(int pid);

// Writes `size` bytes of varied, incompressible content to `path` unless it already has that
// size; reads it once afterwards so later runs find it in the page cache.
void PrepareDataFile(const std::string& path, std::uint64_t size);

// This process's resident set now and its peak since the last ResetPeakResident, in KiB.
long ResidentKiB();
long PeakResidentKiB();
void ResetPeakResident();

// bin/patchserver (beside this program) serving `root` at PatchUrl(), in a process of its own so
// that its memory and CPU are not the measured program's.
class FileServer {
 public:
  explicit FileServer(const std::filesystem::path& root);
  ~FileServer();
  FileServer(const FileServer&) = delete;
  FileServer& operator=(const FileServer&) = delete;
  // "http://127.0.0.1:<port>/patch/".
  const std::string& PatchUrl() const { return url_; }

 private:
  std::filesystem::path log_;
  int pid_ = -1;
  std::string url_;
};

}  // namespace bench
