#include <httplib.h>

#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/update_e2e/patch_server.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> ReadFile(const fs::path& file) {
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace

class PatchServer::Impl {
 public:
  Impl(const fs::path& tree, int port) : tree_(tree) {
    server_.Get(R"(/patch/(.*))",
                [this](const httplib::Request& request, httplib::Response& response) {
                  Answer(request.matches[1], response);
                });
    port_ = port;
    const bool bound = port == 0 ? (port_ = server_.bind_to_any_port("127.0.0.1")) > 0
                                 : server_.bind_to_port("127.0.0.1", port);
    if (!bound) throw std::runtime_error("cannot bind a loopback port");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }

  ~Impl() {
    {
      std::lock_guard lock(mutex_);
      held_.clear();
    }
    changed_.notify_all();
    server_.stop();
    thread_.join();
  }

  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/patch/"; }

  void AnswerNotFound(const std::string& name) {
    std::lock_guard lock(mutex_);
    overrides_[name] = std::nullopt;
  }
  void AnswerWith(const std::string& name, const std::string& body) {
    std::lock_guard lock(mutex_);
    overrides_[name] = body;
  }
  int Requests(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto found = requests_.find(name);
    return found == requests_.end() ? 0 : found->second;
  }
  void Hold(const std::string& name) {
    std::lock_guard lock(mutex_);
    held_.insert(name);
  }
  void WaitUntilHeld(const std::string& name) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::seconds(30), [&] { return waiting_.count(name); }))
      throw std::runtime_error("no request for " + name + " arrived");
  }
  void Release(const std::string& name) {
    {
      std::lock_guard lock(mutex_);
      held_.erase(name);
    }
    changed_.notify_all();
  }

 private:
  // The path arrives decoded: "files/a b.pak" for a request of "files/a%20b.pak".
  void Answer(const std::string& name, httplib::Response& response) {
    std::optional<std::string> body;
    {
      std::unique_lock lock(mutex_);
      ++requests_[name];
      waiting_.insert(name);
      changed_.notify_all();
      changed_.wait(lock, [&] { return !held_.count(name); });
      waiting_.erase(waiting_.find(name));
      const auto found = overrides_.find(name);
      body = found != overrides_.end() ? found->second : ReadFile(tree_ / fs::u8path(name));
    }
    if (!body || name.find("..") != std::string::npos) {
      response.status = 404;
      response.set_content("<html>404 Not Found</html>", "text/html");
      return;
    }
    response.set_content(*body, "application/octet-stream");
  }

  fs::path tree_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::optional<std::string>> overrides_;
  std::map<std::string, int> requests_;
  std::set<std::string> held_;
  std::multiset<std::string> waiting_;
};

PatchServer::PatchServer(const fs::path& tree, int port)
    : impl_(std::make_unique<Impl>(tree, port)) {}
PatchServer::~PatchServer() = default;
std::string PatchServer::BaseUrl() const {
  return impl_->BaseUrl();
}
void PatchServer::AnswerNotFound(const std::string& name) {
  impl_->AnswerNotFound(name);
}
void PatchServer::AnswerWith(const std::string& name, const std::string& body) {
  impl_->AnswerWith(name, body);
}
int PatchServer::Requests(const std::string& name) const {
  return impl_->Requests(name);
}
void PatchServer::Hold(const std::string& name) {
  impl_->Hold(name);
}
void PatchServer::WaitUntilHeld(const std::string& name) {
  impl_->WaitUntilHeld(name);
}
void PatchServer::Release(const std::string& name) {
  impl_->Release(name);
}

}  // namespace testing_support
