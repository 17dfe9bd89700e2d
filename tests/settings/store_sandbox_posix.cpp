#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/settings/store_sandbox.h"
#include "tests/support/temp_dir.h"

namespace settings_testing {

namespace fs = std::filesystem;

class StoreSandbox::Impl {
 public:
  Impl() {
    if (const char* previous = std::getenv("XDG_CONFIG_HOME")) previous_ = previous;
    setenv("XDG_CONFIG_HOME", home_.utf8().c_str(), 1);
  }
  ~Impl() {
    if (previous_) {
      setenv("XDG_CONFIG_HOME", previous_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }

  fs::path File() const { return home_.path() / "Velmora" / "Launcher.reg"; }
  fs::path Folder() const { return home_.path() / "Velmora"; }

  void AppendLine(const std::string& line) const {
    fs::create_directories(Folder());
    std::ofstream(File(), std::ios::binary | std::ios::app) << line << "\n";
  }

 private:
  testing_support::TempDir home_{"velmora config"};
  std::optional<std::string> previous_;
};

namespace {

std::string Quoted(const std::string& text) {
  std::string result = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') result += '\\';
    result += c;
  }
  return result + "\"";
}

}  // namespace

StoreSandbox::StoreSandbox() : impl_(std::make_unique<Impl>()) {}
StoreSandbox::~StoreSandbox() = default;

void StoreSandbox::PutText(const std::string& name, const std::string& text) {
  impl_->AppendLine(Quoted(name) + "=" + Quoted(text));
}

void StoreSandbox::PutNumber(const std::string& name, std::uint32_t value) {
  char digits[16];
  std::snprintf(digits, sizeof(digits), "%08x", value);
  impl_->AppendLine(Quoted(name) + "=dword:" + digits);
}

std::optional<std::string> StoreSandbox::Exported(const std::string& name) const {
  std::ifstream in(impl_->File(), std::ios::binary);
  const std::string prefix = Quoted(name) + "=";
  std::optional<std::string> found;
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, prefix.size(), prefix) == 0) found = line.substr(prefix.size());
  }
  return found;
}

void StoreSandbox::BlockKeyCreation() {
  // A plain file where the settings folder belongs.
  fs::remove_all(impl_->Folder());
  std::ofstream(impl_->Folder()) << "in the way";
}

}  // namespace settings_testing
