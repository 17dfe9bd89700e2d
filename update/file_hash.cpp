#include "update/file_hash.h"

// Linux builds link Debian's libxxhash and take its run-time choice of the fastest vector unit
// (AVX2 where the processor has it); Windows builds compile the hash inline (SSE2).
#ifdef VELMORA_XXH3_DISPATCH
#include <xxh_x86dispatch.h>
#else
#include <xxhash.h>
#endif

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

constexpr std::size_t kHashBlockSize = 65536;

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

  auto block = std::make_unique<std::array<char, kHashBlockSize>>();
  while (file.read(block->data(), block->size()) || file.gcount() > 0) {
    XXH3_64bits_update(state.get(), block->data(), static_cast<std::size_t>(file.gcount()));
  }
  if (file.bad()) return {};
  return FormatHashText(XXH3_64bits_digest(state.get()));
}
