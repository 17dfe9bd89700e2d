#include "update/local_version.h"

#include <filesystem>
#include <fstream>

#include "platform/safe_write.h"

std::string ReadLocalVersion(const std::string& path) {
  std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
  std::string line;
  if (!file.is_open() || !std::getline(file, line)) return {};
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool WriteLocalVersion(const std::string& path, const std::string& version) {
  return platform::ReplaceFileContent(path, version);
}
