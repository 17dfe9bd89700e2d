#include "bench/update_bench_data.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "bench/bench_support.h"
#include "tools/publish/publisher.h"
#include "tools/sampleclient/sample_client.h"

namespace bench {

namespace fs = std::filesystem;

namespace {

void ReadWhole(const fs::path& file, std::vector<char>& buffer) {
  std::ifstream in(file, std::ios::binary);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
  }
}

void MakeTree(const BulkTree& tree, const std::vector<sample_client::SampleFile>& files) {
  std::fprintf(stderr, "writing a client of %zu files, %llu bytes, into %s (once)\n", files.size(),
               static_cast<unsigned long long>(tree.bytes), tree.client.string().c_str());
  fs::remove_all(tree.client);
  fs::remove_all(tree.served);
  sample_client::WriteSampleClient(tree.client, files);
  const publish::PublishResult published =
      publish::Publish({tree.client, "bench", tree.served / "patch"});
  if (published.status != publish::PublishStatus::Published)
    throw std::runtime_error("publishing failed: " + published.error);
}

}  // namespace

BulkTree PrepareBulkTree(const fs::path& folder) {
  const auto files = sample_client::BulkClientFiles(kBulkFiles, kBulkBytes);
  BulkTree tree{folder / "bulk client", folder / "bulk served", {}, 0};
  for (const auto& file : files) {
    tree.paths.push_back(file.path);
    tree.bytes += file.size;
  }
  const fs::path stamp =
      folder / ("bulk-" + std::to_string(kBulkFiles) + "-" + std::to_string(kBulkBytes) + ".done");
  if (!fs::exists(stamp)) {
    fs::create_directories(folder);
    MakeTree(tree, files);
    std::ofstream{stamp};
  }
  std::vector<char> buffer(1 << 20);
  for (const auto& path : tree.paths) {
    ReadWhole(tree.client / path, buffer);
    ReadWhole(tree.served / "patch" / "files" / path, buffer);
  }
  return tree;
}

void IsolateLogSink(const fs::path& folder) {
  const fs::path runtime = folder / "log-runtime";
  fs::remove_all(runtime);
  fs::create_directories(runtime);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}

fs::path DataFolder(int argc, char** argv) {
  return argc > 1 ? fs::path(argv[1]) : fs::current_path() / "build" / "bench-data";
}

int Runs(int argc, char** argv, int fallback) {
  return argc > 2 ? std::stoi(argv[2]) : fallback;
}

}  // namespace bench
