#include "bench/timed_log_listener.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/log_socket_path.h"

namespace bench {

TimedLogListener::TimedLogListener() {
  const std::string path = platform::LogSocketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), std::min(path.size() + 1, sizeof(address.sun_path)));
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  unlink(path.c_str());
  if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
    throw std::runtime_error("cannot bind " + path);
  timeval timeout{0, 20 * 1000};
  setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  receiver_ = std::thread([this] { Receive(); });
}

TimedLogListener::~TimedLogListener() {
  stop_ = true;
  receiver_.join();
  close(fd_);
  unlink(platform::LogSocketPath().c_str());
}

std::optional<TimedLogListener::Clock::time_point> TimedLogListener::FirstLineWith(
    const std::string& text, Clock::time_point after) {
  std::lock_guard lock(mutex_);
  for (const auto& [line, time] : lines_) {
    if (time >= after && line.find(text) != std::string::npos) return time;
  }
  return {};
}

std::optional<TimedLogListener::Clock::time_point> TimedLogListener::FirstLine() {
  std::lock_guard lock(mutex_);
  if (lines_.empty()) return {};
  return lines_.front().second;
}

void TimedLogListener::Clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

void TimedLogListener::Receive() {
  std::vector<char> buffer(1 << 16);
  while (!stop_) {
    const ssize_t size = recv(fd_, buffer.data(), buffer.size(), 0);
    if (size <= 0) continue;
    const auto now = Clock::now();
    std::lock_guard lock(mutex_);
    lines_.emplace_back(std::string(buffer.data(), static_cast<std::size_t>(size)), now);
  }
}

}  // namespace bench
