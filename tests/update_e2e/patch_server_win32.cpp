#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/update/loopback_server.h"
#include "tests/update_e2e/patch_server.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

std::string ReadWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string RelativeUtf8(const fs::path& file, const fs::path& root) {
  const std::u8string text = file.lexically_relative(root).generic_u8string();
  return {text.begin(), text.end()};
}

[[noreturn]] void NotHere(const char* what) {
  throw std::logic_error(std::string(what) + " needs the in-process server of the Linux tests");
}

}  // namespace

// The loopback server process serves its own folder: the tree is copied into "patch/" there.
class PatchServer::Impl {
 public:
  explicit Impl(const fs::path& tree) {
    for (const auto& entry : fs::recursive_directory_iterator(tree)) {
      if (entry.is_regular_file())
        server.Publish("patch/" + RelativeUtf8(entry.path(), tree), ReadWhole(entry.path()));
    }
  }
  LoopbackServer server;
};

PatchServer::PatchServer(const fs::path& tree, int port) : impl_(std::make_unique<Impl>(tree)) {
  if (port != 0) NotHere("a fixed port");
}
PatchServer::~PatchServer() = default;
std::string PatchServer::BaseUrl() const {
  return impl_->server.TreeUrl() + "patch/";
}
void PatchServer::AnswerNotFound(const std::string& name) {
  impl_->server.Withdraw("patch/" + name);
}
void PatchServer::AnswerWith(const std::string& name, const std::string& body) {
  impl_->server.Publish("patch/" + name, body);
}
int PatchServer::Requests(const std::string&) const {
  NotHere("counting requests");
}
void PatchServer::Hold(const std::string&) {
  NotHere("holding a request");
}
void PatchServer::WaitUntilHeld(const std::string&) {
  NotHere("holding a request");
}
void PatchServer::Release(const std::string&) {
  NotHere("holding a request");
}

}  // namespace testing_support
