// sampleclient: writes one of the deterministic sample game clients into a folder.
//
//   sampleclient demo <1|2> <folder>             the demo client, version 1 or 2
//   sampleclient bulk <files> <bytes> <folder>   a large client of mixed file sizes
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "tools/sampleclient/sample_client.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: sampleclient demo <1|2> <folder>\n"
               "       sampleclient bulk <files> <bytes> <folder>\n");
  return 1;
}

bool ParseCount(const char* text, std::uint64_t& value) {
  char* end = nullptr;
  value = std::strtoull(text, &end, 10);
  return *text != '\0' && *end == '\0';
}

std::vector<sample_client::SampleFile> ChooseFiles(int argc, char** argv) {
  const std::string kind = argv[1];
  std::uint64_t first = 0, second = 0;
  if (kind == "demo" && argc == 4 && ParseCount(argv[2], first) && (first == 1 || first == 2))
    return sample_client::DemoClientFiles(static_cast<int>(first));
  if (kind == "bulk" && argc == 5 && ParseCount(argv[2], first) && ParseCount(argv[3], second) &&
      first > 0)
    return sample_client::BulkClientFiles(static_cast<std::size_t>(first), second);
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const auto files = ChooseFiles(argc, argv);
  if (files.empty()) return Usage();
  try {
    sample_client::WriteSampleClient(std::filesystem::u8path(argv[argc - 1]), files);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "sampleclient: %s\n", error.what());
    return 2;
  }
  std::uint64_t bytes = 0;
  for (const auto& file : files)
    bytes += file.size;
  std::printf("%zu files, %llu bytes\n", files.size(), static_cast<unsigned long long>(bytes));
  return 0;
}
