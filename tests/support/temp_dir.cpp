#include "tests/support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <system_error>

namespace testing_support {

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& name) {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::string unique =
      name + " " + std::to_string(stamp) + "-" + std::to_string(counter.fetch_add(1));
  path_ = fs::temp_directory_path() / fs::u8path(unique);
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempDir::utf8() const {
  const std::u8string text = path_.u8string();
  return {text.begin(), text.end()};
}

fs::path TempDir::Write(const std::string& name, const std::string& content) const {
  const fs::path target = path_ / fs::u8path(name);
  fs::create_directories(target.parent_path());
  std::ofstream(target, std::ios::binary | std::ios::trunc) << content;
  return target;
}

std::string TempDir::Read(const std::string& name) const {
  std::ifstream in(path_ / fs::u8path(name), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace testing_support
