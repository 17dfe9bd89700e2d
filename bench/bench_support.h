// Small helpers of the benchmark programs: timing, medians, child processes and test data.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

double SecondsSince(std::chrono::steady_clock::time_point start);

double Median(std::vector<double> values);

// Runs `argv` (argv[0] found on PATH), standard output discarded; returns its wall time in
// seconds, or a negative value when it could not run or failed.
double TimeCommand(const std::vector<std::string>& argv);

// Starts `argv` in the background and returns its process id.
int StartBackground(const std::vector<std::string>& argv);
void Stop(int pid);

// Writes `size` bytes of varied, incompressible content to `path` unless it already has that
// size; reads it once afterwards so later runs find it in the page cache.
void PrepareDataFile(const std::string& path, std::uint64_t size);

// This process's resident set now and its peak since the last ResetPeakResident, in KiB.
long ResidentKiB();
long PeakResidentKiB();
void ResetPeakResident();

}  // namespace bench
