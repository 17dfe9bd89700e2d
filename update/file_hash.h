// The content hash that decides whether a local game file matches the patch server's copy.
#pragma once

#include <cstdint>
#include <string>

// XXH3-64 (seed 0, default secret) of the whole file as 16 lower-case hex digits, read in a
// streaming pass of 64 KiB blocks. `path` is UTF-8. The empty string when the file cannot be
// opened (an empty file has a real hash).
std::string HashFile(const std::string& path);

// A digest in the form the manifest carries: 16 lower-case hex digits, leading zeros kept.
std::string FormatHashText(std::uint64_t digest);
