// The pseudo-random byte stream behind every sample file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sample_client {

// splitmix64: fast, and the same sequence on every platform and compiler.
class ByteStream {
 public:
  explicit ByteStream(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // Fills `size` bytes of `out`.
  void Fill(char* out, std::size_t size);

 private:
  std::uint64_t state_;
};

}  // namespace sample_client
