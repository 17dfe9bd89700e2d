#include "tools/sampleclient/sample_content.h"

#include <cstring>

namespace sample_client {

std::uint64_t ByteStream::Next() {
  std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

void ByteStream::Fill(char* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::uint64_t word = Next();
    const std::size_t take = size - done < sizeof(word) ? size - done : sizeof(word);
    // Little-endian byte order on every target this builds for (x86, x86_64).
    std::memcpy(out + done, &word, take);
    done += take;
  }
}

}  // namespace sample_client
