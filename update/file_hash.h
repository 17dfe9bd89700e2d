// The content hash that decides whether a local game file matches the patch server's copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_access.h"

// XXH3-64 (seed 0, default secret) of the whole file as 16 lower-case hex digits, read in a
// streaming pass of 64 KiB blocks. `path` is UTF-8. The empty string when the file cannot be
// opened or read, or is not a regular file (an empty file has a real hash).
std::string HashFile(const std::string& path);

// The same for a file already open, read from where it stands to its end.
std::string HashReadableFile(platform::ReadableFile& file);

// A digest in the form the manifest carries: 16 lower-case hex digits, leading zeros kept.
std::string FormatHashText(std::uint64_t digest);

// The same hash over bytes handed in as they arrive, so a download is hashed while it is
// written instead of being read back.
class StreamingHash {
 public:
  StreamingHash();
  ~StreamingHash();
  StreamingHash(const StreamingHash&) = delete;
  StreamingHash& operator=(const StreamingHash&) = delete;

  void Update(const void* data, std::size_t size);
  // Hands in the next `size` bytes of `file`, from where it stands; false when it could not read
  // that many.
  bool UpdateFrom(platform::ReadableFile& file, std::uint64_t size);
  // The hash text of everything handed in so far.
  std::string Text() const;
  // Forgets everything handed in.
  void Reset();

 private:
  void* state_;  // the library's XXH3_state_t
};
