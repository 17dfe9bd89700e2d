#include "platform/resources.h"
#include "platform/posix/embedded_files.h"

std::string LoadEmbeddedResource(int id) {
  for (const platform::EmbeddedFile& file : platform::EmbeddedFiles()) {
    if (file.id == id) return {reinterpret_cast<const char*>(file.data), file.size};
  }
  return {};
}
