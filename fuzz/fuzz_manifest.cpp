// The manifest parser on any text: it either fails with a std::exception or yields entries whose
// paths are non-empty and safe.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "update/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<ManifestEntry> entries;
  std::string version;
  try {
    manifest::Parse(text, entries, version);
  } catch (const std::exception&) {
    return 0;
  }
  for (const ManifestEntry& entry : entries) {
    if (!IsSafeManifestPath(entry.path) || entry.size < 0) std::abort();
  }
  return 0;
}
