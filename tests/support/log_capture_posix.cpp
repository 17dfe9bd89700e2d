#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/log_socket_path.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

class LogCapture::Impl {
 public:
  ~Impl() { Stop(); }

  void Start() {
    const std::string path = platform::LogSocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) throw std::runtime_error("socket path too long");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    unlink(path.c_str());
    if (fd_ < 0 || bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
      throw std::runtime_error("cannot bind the log socket " + path);
    }
    path_ = path;
    timeval timeout{0, 50 * 1000};  // lets the receiving thread notice Stop
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    receiver_ = std::thread([this] { Receive(); });
  }

  void Stop() {
    stop_ = true;
    if (receiver_.joinable()) receiver_.join();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!path_.empty()) unlink(path_.c_str());
    path_.clear();
  }

  std::vector<LogMessage> Messages(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
    return messages_;
  }

 private:
  void Receive() {
    std::vector<char> buffer(1 << 20);
    while (!stop_) {
      const ssize_t size = recv(fd_, buffer.data(), buffer.size(), 0);
      if (size < 0) continue;
      std::lock_guard lock(mutex_);
      messages_.push_back({0, std::string(buffer.data(), static_cast<std::size_t>(size))});
      arrived_.notify_all();
    }
  }

  int fd_ = -1;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread receiver_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<LogMessage> messages_;
};

LogCapture::LogCapture() : impl_(std::make_unique<Impl>()) {}
LogCapture::~LogCapture() = default;
void LogCapture::Start() {
  impl_->Start();
}
std::vector<LogMessage> LogCapture::Messages(std::size_t count, std::chrono::milliseconds timeout) {
  return impl_->Messages(count, timeout);
}

void IsolateLogSink() {
  // Lives for the whole test program; its folder holds the socket of every capture.
  static TempDir runtimeDir("velmora-log");
  setenv("XDG_RUNTIME_DIR", runtimeDir.utf8().c_str(), 1);
}

}  // namespace testing_support
