#include "update/file_hash.h"

// Linux builds link Debian's libxxhash and take its run-time choice of the fastest vector unit
// (AVX2 where the processor has it); Windows builds compile the hash inline (SSE2).
#ifdef VELMORA_XXH3_DISPATCH
#include <xxh_x86dispatch.h>
#else
#include <xxhash.h>
#endif

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

namespace {

constexpr std::size_t kHashBlockSize = 65536;

// Page-aligned, so the kernel copies each block into whole pages.
struct alignas(4096) HashBlock {
  char bytes[kHashBlockSize];
};

}  // namespace

StreamingHash::StreamingHash() : state_(XXH3_createState()) {
  if (!state_ || XXH3_64bits_reset(static_cast<XXH3_state_t*>(state_)) != XXH_OK) {
    XXH3_freeState(static_cast<XXH3_state_t*>(state_));
    throw std::bad_alloc();
  }
}

StreamingHash::~StreamingHash() {
  XXH3_freeState(static_cast<XXH3_state_t*>(state_));
}

void StreamingHash::Update(const void* data, std::size_t size) {
  XXH3_64bits_update(static_cast<XXH3_state_t*>(state_), data, size);
}

bool StreamingHash::UpdateFrom(platform::ReadableFile& file, std::uint64_t size) {
  const auto block = std::make_unique_for_overwrite<HashBlock>();
  while (size > 0) {
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kHashBlockSize));
    const std::ptrdiff_t count = file.Read(block->bytes, wanted);
    if (count <= 0) return false;
    Update(block->bytes, static_cast<std::size_t>(count));
    size -= static_cast<std::uint64_t>(count);
  }
  return true;
}

std::string StreamingHash::Text() const {
  return FormatHashText(XXH3_64bits_digest(static_cast<const XXH3_state_t*>(state_)));
}

void StreamingHash::Reset() {
  XXH3_64bits_reset(static_cast<XXH3_state_t*>(state_));
}

std::string FormatHashText(std::uint64_t digest) {
  char text[17];
  std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(digest));
  return text;
}

std::string HashFile(const std::string& path) {
  platform::FileStatus status;
  platform::ReadableFile file = platform::ReadableFile::OpenPath(path, status);
  return file.IsOpen() ? HashReadableFile(file) : std::string();
}

std::string HashReadableFile(platform::ReadableFile& file) {
  StreamingHash hash;
  const auto block = std::make_unique_for_overwrite<HashBlock>();  // no need to clear 64 KiB
  while (true) {
    const std::ptrdiff_t count = file.Read(block->bytes, kHashBlockSize);
    if (count < 0) return {};
    if (count == 0) return hash.Text();
    hash.Update(block->bytes, static_cast<std::size_t>(count));
  }
}
