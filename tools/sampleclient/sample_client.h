// Deterministic game clients for the demo, the end-to-end tests and the benchmarks.
//
// A client is a list of files, each with a relative path (UTF-8, forward slashes), a size and a
// seed. A file's bytes are a pure function of its size and seed, so the same list always writes
// the same tree, on any machine, and two versions of a client differ exactly where their lists do.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sample_client {

struct SampleFile {
  std::string path;
  std::uint64_t size = 0;
  std::uint64_t seed = 0;
};

// The demo's small client: a few dozen files, some MB, in nested folders. Version 2 changes some
// files of version 1, adds a few (one in a folder version 1 lacks) and drops a few.
std::vector<SampleFile> DemoClientFiles(int version);

// A large client for measurements: `count` files of mixed sizes (a few bytes to some MB) whose
// sizes add up to exactly `totalBytes`, spread over folders of 100 files.
std::vector<SampleFile> BulkClientFiles(std::size_t count, std::uint64_t totalBytes);

// The bytes of one file.
std::string FileContent(const SampleFile& file);

// Writes every file below `root`, creating folders on the way. Throws std::runtime_error with
// the failing path when a file cannot be written.
void WriteSampleClient(const std::filesystem::path& root, const std::vector<SampleFile>& files);

}  // namespace sample_client
