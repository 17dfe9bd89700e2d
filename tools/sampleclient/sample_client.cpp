#include "tools/sampleclient/sample_client.h"

#include <fstream>
#include <stdexcept>

#include "tools/sampleclient/sample_content.h"

namespace sample_client {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunk = 1 << 20;

void WriteOne(const fs::path& target, const SampleFile& file) {
  fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  ByteStream random(file.seed);
  std::string chunk(static_cast<std::size_t>(file.size < kChunk ? file.size : kChunk), '\0');
  for (std::uint64_t left = file.size; left > 0 && out;) {
    const std::size_t take = left < kChunk ? static_cast<std::size_t>(left) : kChunk;
    random.Fill(chunk.data(), take);
    out.write(chunk.data(), static_cast<std::streamsize>(take));
    left -= take;
  }
  out.close();
  if (!out) throw std::runtime_error("cannot write " + target.string());
}

}  // namespace

std::string FileContent(const SampleFile& file) {
  std::string content(static_cast<std::size_t>(file.size), '\0');
  ByteStream(file.seed).Fill(content.data(), content.size());
  return content;
}

void WriteSampleClient(const fs::path& root, const std::vector<SampleFile>& files) {
  for (const auto& file : files)
    WriteOne(root / fs::u8path(file.path), file);
}

}  // namespace sample_client
