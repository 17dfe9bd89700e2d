#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/temp_dir.h"
#include "tests/update/loopback_server.h"
#include "tools/patchserver/server.h"
#include "tools/patchserver/test_requests.h"

namespace testing_support {

namespace fs = std::filesystem;
using namespace patchserver;

namespace {

constexpr char kTree[] = "patch/";

}  // namespace

class LoopbackServer::Impl {
 public:
  explicit Impl(int port)
      : server({.root = tree.path(), .port = port, .respond = [this](const httplib::Request& r) {
                  return TestRequest(tree.path(), r);
                }}) {}

  TempDir tree{"velmora served tree"};
  Server server;
};

LoopbackServer::LoopbackServer(int port) : impl_(std::make_unique<Impl>(port)) {}
LoopbackServer::~LoopbackServer() = default;

std::string LoopbackServer::Url(const std::string& path) const {
  return impl_->server.Url(path);
}
std::string LoopbackServer::TreeUrl() const {
  return impl_->server.Url(kTree);
}
std::string LoopbackServer::SlowTreeUrl() const {
  return impl_->server.Url("slowtree/");
}
std::string LoopbackServer::EndlessFilesUrl() const {
  return impl_->server.Url("endlessfiles/");
}
std::string LoopbackServer::WholeTreeUrl() const {
  return impl_->server.Url("wholetree/");
}
const fs::path& LoopbackServer::TreeFolder() const {
  return impl_->tree.path();
}
void LoopbackServer::Publish(const std::string& name, const std::string& content) const {
  impl_->tree.Write(name, content);
}
void LoopbackServer::Withdraw(const std::string& name) const {
  std::error_code ignored;
  fs::remove(impl_->tree.path() / fs::u8path(name), ignored);
}
void LoopbackServer::Answer(const std::string& name, const Reply& reply) {
  impl_->server.Answer(kTree + name, reply);
}
int LoopbackServer::Requests(const std::string& name) const {
  return impl_->server.RequestsFor(kTree + name);
}
void LoopbackServer::Hold(const std::string& name) {
  impl_->server.Hold(kTree + name);
}
void LoopbackServer::WaitUntilHeld(const std::string& name) {
  impl_->server.WaitUntilHeld(kTree + name);
}
void LoopbackServer::Release(const std::string& name) {
  impl_->server.Release(kTree + name);
}

std::string ScriptedServerUrl(const std::string& path) {
  static const LoopbackServer server;
  return server.Url(path);
}

std::string UnusedPortUrl(const std::string& path) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("cannot find a free loopback port");
  }
  close(fd);  // bound but never listening: nobody answers there now
  return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/" + path;
}

}  // namespace testing_support
