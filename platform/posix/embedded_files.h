// Linux: the files a program carries, as byte arrays generated into it at build time
// (cmake/embed/embed_files.cmake writes the definition of EmbeddedFiles for each program).
#pragma once

#include <cstddef>
#include <span>

namespace platform {

struct EmbeddedFile {
  int id;
  const unsigned char* data;
  std::size_t size;
};

std::span<const EmbeddedFile> EmbeddedFiles();

}  // namespace platform
