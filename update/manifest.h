// The patch server's file list: its entries and the rule for which entry paths are safe to use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ManifestEntry {
  std::string path;  // relative, forward slashes, UTF-8
  std::string hash;  // 16 lower-case hex digits when the server publishes it correctly
  std::int64_t size = 0;
};

// Whether an entry path stays inside the launcher folder on every platform: relative, made of
// non-empty components separated by "/", none of them "." or "..", and holding no backslash, no
// colon (drive letters, alternate streams) and no control character. The empty path is not safe.
bool IsSafeManifestPath(std::string_view path);

namespace manifest {

// Parses a manifest document, appending its entries (in document order) to `entries` and storing
// its "version" in `version`. Entries without a path are skipped. Throws a std::exception on
// malformed JSON, on nesting deeper than kMaxJsonNesting, on members of the wrong type, on an
// unsafe entry path and on a path listed twice (also when the two differ only in the case of
// ASCII letters: they are one file on Windows); entries appended before the failure stay in
// `entries`.
void Parse(const std::string& text, std::vector<ManifestEntry>& entries, std::string& version);

}  // namespace manifest
