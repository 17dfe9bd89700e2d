// An HTTP server on 127.0.0.1 that misbehaves on purpose. It speaks through raw sockets, so an
// answer can lie about its length, stop in the middle, drip, redirect anywhere or never end.
// Every connection is answered once and then closed; unknown paths get a 404.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class HostileServer {
 public:
  // Writes one whole answer to the connection `fd`. Long answers end early once `stop` is
  // raised (the server is closing) or the peer has gone.
  using Answer = std::function<void(int fd, const std::atomic<bool>& stop)>;

  HostileServer();
  ~HostileServer();
  HostileServer(const HostileServer&) = delete;
  HostileServer& operator=(const HostileServer&) = delete;

  // "http://127.0.0.1:<port>/" + path.
  std::string Url(const std::string& path) const;
  // How requests for `path` (the request target, "/patch/version.json") are answered.
  void On(const std::string& path, Answer answer);
  // Every request target received, in order.
  std::vector<std::string> Requested() const;

 private:
  void AcceptLoop();
  void Serve(int fd);

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::map<std::string, Answer> answers_;
  std::vector<std::string> requested_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

// Answers to compose rows from.
namespace answers {
// 200 with `body` and its true length.
HostileServer::Answer Ok(std::string body, std::string contentType = "application/octet-stream");
// 200 announcing `announced` bytes, then `body` (shorter) and the connection closes.
HostileServer::Answer ShortBody(std::size_t announced, std::string body);
// 200 without a length: `body`, then the connection closes, as if it broke in the middle.
HostileServer::Answer ClosedAfter(std::string body);
// 200 chunked: one chunk announced larger than what follows, then the connection closes.
HostileServer::Answer BrokenChunk(std::string body);
// 200 without a length, then 'e' without end until stopped or the peer has gone.
HostileServer::Answer Endless();
// 302 to `location`.
HostileServer::Answer Redirect(std::string location);
// 200 without a length, then one byte a second until stopped; raises `started` at the first.
HostileServer::Answer Drip(std::atomic<bool>* started = nullptr);
// 200 announcing `total` bytes; sends `first` bytes of 'x', raises `sent` and keeps the
// connection open, silent, until stopped.
HostileServer::Answer HalfThenHold(std::size_t total, std::size_t first, std::atomic<bool>* sent);
}  // namespace answers

}  // namespace testing_support
