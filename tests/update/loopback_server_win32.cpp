#include <windows.h>
#include <winsock2.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/update/loopback_server.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

// Linux paths reach the Linux file system through wine's drive Z:.
fs::path FromLinuxPath(const std::string& path) {
  return fs::u8path("Z:" + path);
}

[[noreturn]] void NotHere(const std::string& what) {
  throw std::logic_error(what + " needs the patch server of the Linux tests");
}

}  // namespace

class LoopbackServer::Impl {
 public:
  explicit Impl(int port) {
    if (port != 0) NotHere("a fixed port");
    const char* address = std::getenv("VELMORA_TEST_SERVER");
    if (!address) throw std::runtime_error("VELMORA_TEST_SERVER is not set: run through ctest");
    std::ifstream file(FromLinuxPath(address));
    std::string treeRoot;
    if (!(file >> port_) || !std::getline(file >> std::ws, treeRoot)) {
      throw std::runtime_error(std::string("no loopback server at ") + address);
    }
    static std::atomic<unsigned> counter{0};
    folder_ = "w" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) +
              "-" + std::to_string(counter++);
    tree_ = FromLinuxPath(treeRoot) / folder_;
    fs::create_directories(tree_);
  }
  ~Impl() {
    std::error_code ignored;
    fs::remove_all(tree_, ignored);
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
  }
  std::string TreeUrl() const { return Url("patch/" + folder_ + "/"); }
  std::string SlowTreeUrl() const { return Url("slowtree/" + folder_ + "/"); }
  std::string EndlessFilesUrl() const { return Url("endlessfiles/" + folder_ + "/"); }
  std::string WholeTreeUrl() const { return Url("wholetree/" + folder_ + "/"); }
  const fs::path& tree() const { return tree_; }

 private:
  int port_ = 0;
  std::string folder_;
  fs::path tree_;
};

LoopbackServer::LoopbackServer(int port) : impl_(std::make_unique<Impl>(port)) {}
LoopbackServer::~LoopbackServer() = default;

std::string LoopbackServer::Url(const std::string& path) const {
  return impl_->Url(path);
}
std::string LoopbackServer::TreeUrl() const {
  return impl_->TreeUrl();
}
std::string LoopbackServer::SlowTreeUrl() const {
  return impl_->SlowTreeUrl();
}
std::string LoopbackServer::EndlessFilesUrl() const {
  return impl_->EndlessFilesUrl();
}
std::string LoopbackServer::WholeTreeUrl() const {
  return impl_->WholeTreeUrl();
}
void LoopbackServer::Publish(const std::string& name, const std::string& content) const {
  const fs::path target = impl_->tree() / fs::u8path(name);
  fs::create_directories(target.parent_path());
  std::ofstream(target, std::ios::binary | std::ios::trunc) << content;
}
void LoopbackServer::Withdraw(const std::string& name) const {
  std::error_code ignored;
  fs::remove(impl_->tree() / fs::u8path(name), ignored);
}
const fs::path& LoopbackServer::TreeFolder() const {
  return impl_->tree();
}
void LoopbackServer::Answer(const std::string& name, const patchserver::Reply& reply) {
  const patchserver::Body& body = reply.body;
  if (reply.status == 404 && !reply.Misbehaves()) return Withdraw(name);
  if (reply.status != 200 || reply.Misbehaves() || !reply.headers.empty() || !body.file.empty() ||
      body.unit.size() != body.size) {
    NotHere("a reply other than a file or a 404");
  }
  Publish(name, body.unit);
}
int LoopbackServer::Requests(const std::string&) const {
  NotHere("counting requests");
}
void LoopbackServer::Hold(const std::string&) {
  NotHere("holding a request");
}
void LoopbackServer::WaitUntilHeld(const std::string&) {
  NotHere("holding a request");
}
void LoopbackServer::Release(const std::string&) {
  NotHere("holding a request");
}

std::string ScriptedServerUrl(const std::string& path) {
  // The same server process as LoopbackServer's.
  static const LoopbackServer server;
  return server.Url(path);
}

std::string UnusedPortUrl(const std::string& path) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof(address);
  if (socket == INVALID_SOCKET || bind(socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("cannot find a free loopback port");
  }
  closesocket(socket);  // bound but never listening: nobody answers there now
  return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/" + path;
}

}  // namespace testing_support
