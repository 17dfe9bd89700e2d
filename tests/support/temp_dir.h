// A fresh folder for one test, removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

class TempDir {
 public:
  // `name` becomes part of the folder name: spaces and non-ASCII letters test path handling.
  explicit TempDir(const std::string& name = "velmora test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder as UTF-8 text, the form the launcher's own code takes paths in.
  std::string utf8() const;

  // Writes `content` to the relative path `name`, creating folders on the way.
  std::filesystem::path Write(const std::string& name, const std::string& content) const;
  // The whole content of the relative path `name`; empty when it cannot be read.
  std::string Read(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace testing_support
