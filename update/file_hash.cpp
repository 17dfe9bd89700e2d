#include "update/file_hash.h"

// Linux builds link Debian's libxxhash and take its run-time choice of the fastest vector unit
// (AVX2 where the processor has it); Windows builds compile the hash inline (SSE2).
#ifdef VELMORA_XXH3_DISPATCH
#include <xxh_x86dispatch.h>
#else
#include <xxhash.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

constexpr std::size_t kHashBlockSize = 65536;

// Page-aligned, so the kernel copies each block into whole pages.
struct alignas(4096) HashBlock {
  char bytes[kHashBlockSize];
};

struct HashStateDeleter {
  void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

}  // namespace

std::string FormatHashText(std::uint64_t digest) {
  char text[17];
  std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(digest));
  return text;
}

std::string HashFile(const std::string& path) {
  std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
  if (!file.is_open()) return {};

  const std::unique_ptr<XXH3_state_t, HashStateDeleter> state(XXH3_createState());
  if (!state || XXH3_64bits_reset(state.get()) != XXH_OK) return {};

  const auto block = std::make_unique_for_overwrite<HashBlock>();  // no need to clear 64 KiB
  while (file.read(block->bytes, kHashBlockSize) || file.gcount() > 0) {
    XXH3_64bits_update(state.get(), block->bytes, static_cast<std::size_t>(file.gcount()));
  }
  if (file.bad()) return {};
  return FormatHashText(XXH3_64bits_digest(state.get()));
}
