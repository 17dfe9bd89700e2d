#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "tests/update_e2e/hostile_server.h"

namespace testing_support {
namespace {

bool SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Waits up to `ms` for the peer; false once it has closed its end (or the wait failed).
bool PeerStillThere(int fd, int ms) {
  pollfd item{fd, POLLIN, 0};
  if (poll(&item, 1, ms) <= 0) return true;
  char byte;
  return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

std::string Head(const std::string& status, const std::string& fields) {
  return "HTTP/1.1 " + status + "\r\nConnection: close\r\n" + fields + "\r\n";
}

}  // namespace

HostileServer::HostileServer() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener_, 64) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot listen on loopback");
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

HostileServer::~HostileServer() {
  stop_ = true;
  acceptor_.join();
  for (std::thread& connection : connections_)
    connection.join();
  close(listener_);
}

std::string HostileServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

void HostileServer::On(const std::string& path, Answer answer) {
  const std::lock_guard<std::mutex> lock(mutex_);
  answers_[path] = std::move(answer);
}

std::vector<std::string> HostileServer::Requested() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return requested_;
}

void HostileServer::AcceptLoop() {
  while (!stop_) {
    pollfd item{listener_, POLLIN, 0};
    if (poll(&item, 1, 20) <= 0) continue;
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    connections_.emplace_back([this, fd] { Serve(fd); });
  }
}

void HostileServer::Serve(int fd) {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    if (!PeerStillThere(fd, 1000) && request.empty()) break;
    const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0) break;
    if (n > 0) request.append(buffer, static_cast<std::size_t>(n));
    if (stop_) break;
  }
  const std::size_t start = request.find(' ') + 1;
  const std::string target =
      start == 0 ? std::string() : request.substr(start, request.find(' ', start) - start);
  Answer answer;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    requested_.push_back(target);
    if (const auto found = answers_.find(target); found != answers_.end()) answer = found->second;
  }
  if (answer)
    answer(fd, stop_);
  else
    SendAll(fd, Head("404 Not Found", "Content-Length: 9\r\n") + "not found");
  close(fd);
}

namespace answers {

HostileServer::Answer Ok(std::string body, std::string contentType) {
  return [body, contentType](int fd, const std::atomic<bool>&) {
    SendAll(fd, Head("200 OK", "Content-Type: " + contentType +
                                   "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n") +
                    body);
  };
}

HostileServer::Answer ShortBody(std::size_t announced, std::string body) {
  return [announced, body](int fd, const std::atomic<bool>&) {
    SendAll(fd, Head("200 OK", "Content-Length: " + std::to_string(announced) + "\r\n") + body);
  };
}

HostileServer::Answer ClosedAfter(std::string body) {
  return [body](int fd, const std::atomic<bool>&) { SendAll(fd, Head("200 OK", "") + body); };
}

HostileServer::Answer BrokenChunk(std::string body) {
  return [body](int fd, const std::atomic<bool>&) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", body.size() * 2);
    SendAll(fd, Head("200 OK", "Transfer-Encoding: chunked\r\n") + size + body);
  };
}

HostileServer::Answer Endless() {
  return [](int fd, const std::atomic<bool>& stop) {
    if (!SendAll(fd, Head("200 OK", ""))) return;
    const std::string block(64 * 1024, 'e');
    while (!stop && SendAll(fd, block)) {
    }
  };
}

HostileServer::Answer Redirect(std::string location) {
  return [location](int fd, const std::atomic<bool>&) {
    SendAll(fd, Head("302 Found", "Location: " + location + "\r\nContent-Length: 0\r\n"));
  };
}

HostileServer::Answer Drip(std::atomic<bool>* started) {
  return [started](int fd, const std::atomic<bool>& stop) {
    if (!SendAll(fd, Head("200 OK", ""))) return;
    const auto period = std::chrono::seconds(1);
    auto next = std::chrono::steady_clock::now();
    while (!stop) {
      if (std::chrono::steady_clock::now() >= next) {
        if (!SendAll(fd, "x")) return;
        if (started) *started = true;
        next += period;
      }
      if (!PeerStillThere(fd, 20)) return;
    }
  };
}

HostileServer::Answer HalfThenHold(std::size_t total, std::size_t first, std::atomic<bool>* sent) {
  return [total, first, sent](int fd, const std::atomic<bool>& stop) {
    if (!SendAll(fd, Head("200 OK", "Content-Length: " + std::to_string(total) + "\r\n") +
                         std::string(first, 'x')))
      return;
    *sent = true;
    while (!stop && PeerStillThere(fd, 20)) {
    }
  };
}

}  // namespace answers
}  // namespace testing_support
