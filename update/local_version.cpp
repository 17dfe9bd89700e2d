#include "update/local_version.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/file_ops.h"

std::string ReadLocalVersion(const std::string& path) {
  std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
  std::string line;
  if (!file.is_open() || !std::getline(file, line)) return {};
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool WriteLocalVersion(const std::string& path, const std::string& version) {
  const std::string temporary = path + ".new";
  {
    std::ofstream file(std::filesystem::u8path(temporary), std::ios::binary | std::ios::trunc);
    if (!file.is_open()) return false;
    file << version;
    file.close();
    if (file.fail()) {
      std::error_code ignored;
      std::filesystem::remove(std::filesystem::u8path(temporary), ignored);
      return false;
    }
  }
  return platform::MoveFileReplacing(temporary, path);
}
