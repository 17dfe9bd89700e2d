#include "tools/patchserver/server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "tools/patchserver/patch_path.h"

namespace patchserver {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kPiece = std::size_t{256} * 1024;  // the most one write of a body carries
constexpr std::size_t kRequestsPerConnection = 1000;
constexpr int kIoTimeoutMs = 5000;
constexpr auto kHoldLimit = 150s;  // a connection held silent is let go after this at the latest

bool Ready(int fd, short events, int timeoutMs) {
  pollfd entry{fd, events, 0};
  return poll(&entry, 1, timeoutMs) > 0;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    if (!Ready(fd, POLLOUT, kIoTimeoutMs)) return false;
    const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Waits `duration`; false when the client closed its end or the server stops first. What the
// client sends meanwhile is dropped.
bool Linger(int fd, Clock::duration duration, const std::atomic<bool>& stopping) {
  const auto end = Clock::now() + duration;
  while (!stopping) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0) return true;
    if (Ready(fd, POLLIN, static_cast<int>(std::min<std::int64_t>(left.count(), 100)))) {
      char dropped[512];
      const ssize_t got = recv(fd, dropped, sizeof(dropped), MSG_DONTWAIT);
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return false;
    }
  }
  return false;
}

// Clients read the status code only.
const char* Reason(int status) {
  return status == 200 ? "OK" : status == 302 ? "Found" : status == 404 ? "Not Found" : "Status";
}

// The bytes of a Body, read piece by piece.
class BodyReader {
 public:
  explicit BodyReader(Body body) : body_(std::move(body)) {
    std::error_code error;
    if (!body_.file.empty()) {
      file_.open(body_.file, std::ios::binary);
      size_ = fs::file_size(body_.file, error);
      if (error || !file_) size_ = 0;
    } else {
      size_ = body_.unit.empty() ? 0 : body_.size;
    }
  }
  std::uint64_t size() const { return size_; }

  // Up to `length` bytes from `offset`; fewer only at the end.
  std::string Read(std::uint64_t offset, std::size_t length) {
    std::string bytes(static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset)),
                      '\0');
    if (body_.file.empty()) {
      for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = body_.unit[(offset + i) % body_.unit.size()];
      return bytes;
    }
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(file_.gcount(), 0)));
    file_.clear();
    return bytes;
  }

 private:
  Body body_;
  std::ifstream file_;
  std::uint64_t size_ = 0;
};

// A thread for each connection, started when it comes: held and kept-alive connections never
// make another wait, and no pool of idle threads is made up front.
class ThreadPerConnection final : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> task) override {
    std::lock_guard lock(mutex_);
    threads_.emplace_back(std::move(task));
  }
  void shutdown() override {
    std::lock_guard lock(mutex_);
    for (std::thread& thread : threads_)
      thread.join();
  }

 private:
  std::mutex mutex_;
  std::vector<std::thread> threads_;
};

// One accepted connection, as httplib reads and writes it. Once a reply has taken it over to
// write its own bytes, what httplib writes after it goes nowhere.
class Connection final : public httplib::Stream {
 public:
  Connection(int fd, std::uint64_t number) : fd_(fd), number_(number) {}
  int fd() const { return fd_; }
  std::uint64_t number() const { return number_; }
  void TakeOver() { takenOver_ = true; }
  bool takenOver() const { return takenOver_; }
  bool Buffered() const { return start_ < end_; }

  bool is_readable() const override { return Buffered() || Ready(fd_, POLLIN, kIoTimeoutMs); }
  bool is_writable() const override { return Ready(fd_, POLLOUT, kIoTimeoutMs); }
  ssize_t read(char* data, std::size_t size) override {
    if (!Buffered()) {
      if (!Ready(fd_, POLLIN, kIoTimeoutMs)) return -1;
      const ssize_t got = recv(fd_, buffer_, sizeof(buffer_), 0);
      if (got <= 0) return got;
      start_ = 0;
      end_ = static_cast<std::size_t>(got);
    }
    const std::size_t count = std::min(size, end_ - start_);
    std::memcpy(data, buffer_ + start_, count);
    start_ += count;
    return static_cast<ssize_t>(count);
  }
  ssize_t write(const char* data, std::size_t size) override {
    if (takenOver_) return static_cast<ssize_t>(size);
    return Ready(fd_, POLLOUT, kIoTimeoutMs) ? send(fd_, data, size, MSG_NOSIGNAL) : -1;
  }
  // Nothing here asks who is at either end.
  void get_remote_ip_and_port(std::string&, int&) const override {}
  void get_local_ip_and_port(std::string&, int&) const override {}
  socket_t socket() const override { return fd_; }

 private:
  int fd_;
  std::uint64_t number_;
  bool takenOver_ = false;
  char buffer_[4096];
  std::size_t start_ = 0;
  std::size_t end_ = 0;
};

// The connection the calling thread serves.
thread_local Connection* tServing = nullptr;

// Whether the request asks for a range that starts past the end of a body of `size` bytes.
bool RangePastTheEnd(const httplib::Request& request, std::uint64_t size) {
  return std::any_of(request.ranges.begin(), request.ranges.end(), [size](const auto& range) {
    return range.first >= 0 && static_cast<std::uint64_t>(range.first) >= size;
  });
}

void SendPlain(const Reply& reply, const httplib::Request& request, httplib::Response& response) {
  auto body = std::make_shared<BodyReader>(reply.body);
  if (reply.status == 200 && RangePastTheEnd(request, body->size())) {
    response.status = 416;
    response.set_header("Content-Range", "bytes */" + std::to_string(body->size()));
    return;
  }
  // Left unset, a 200 becomes httplib's 206 for a range request.
  if (reply.status != 200) response.status = reply.status;
  for (const auto& [name, value] : reply.headers)
    response.set_header(name, value);
  if (body->size() == 0) return response.set_content("", reply.contentType);
  response.set_content_provider(
      body->size(), reply.contentType,
      [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        const std::string bytes = body->Read(offset, std::min(length, kPiece));
        return !bytes.empty() && sink.write(bytes.data(), bytes.size());
      });
}

void DripHeaders(int fd, const std::string& statusLine, Clock::duration interval,
                 const std::atomic<bool>& stopping) {
  if (!SendAll(fd, statusLine + "X-Drip: ")) return;
  for (const auto end = Clock::now() + kHoldLimit; Clock::now() < end;) {
    if (!Linger(fd, interval, stopping) || !SendAll(fd, "x")) return;
  }
}

void SendMisbehaving(int fd, const Reply& reply, const std::atomic<bool>& stopping) {
  if (reply.silent) {
    Linger(fd, kHoldLimit, stopping);
    return;
  }
  const std::string statusLine =
      "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) + "\r\n";
  if (reply.dripHeaders.count() > 0)
    return DripHeaders(fd, statusLine, reply.dripHeaders, stopping);

  BodyReader body(reply.body);
  std::string head = statusLine + "Content-Type: " + reply.contentType + "\r\n";
  for (const auto& [name, value] : reply.headers)
    head.append(name).append(": ").append(value).append("\r\n");
  if (!reply.withoutLength)
    head += "Content-Length: " + std::to_string(reply.contentLength.value_or(body.size())) + "\r\n";
  if (!SendAll(fd, head + "Connection: close\r\n\r\n")) return;

  const std::uint64_t end = std::min(
      {body.size(), reply.closeAfter.value_or(kEndless), reply.silentAfter.value_or(kEndless)});
  const std::size_t piece = reply.piece > 0 ? reply.piece : kPiece;
  for (std::uint64_t offset = 0; offset < end && !stopping;) {
    if (reply.pause.count() > 0 && !Linger(fd, reply.pause, stopping)) return;
    const std::string bytes =
        body.Read(offset, static_cast<std::size_t>(std::min<std::uint64_t>(piece, end - offset)));
    if (bytes.empty() || !SendAll(fd, bytes)) return;
    offset += bytes.size();
  }
  if (reply.silentAfter && *reply.silentAfter < reply.closeAfter.value_or(kEndless))
    Linger(fd, kHoldLimit, stopping);
}

}  // namespace

// httplib's server with a connection loop of its own, so that a reply can reach its socket.
class Server::Listener final : public httplib::Server {
 private:
  bool process_and_close_socket(socket_t fd) override {
    // A head and its body go out in two writes: without this, the body of every request after
    // the first on a connection would wait for the client's delayed acknowledgement.
    int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
    Connection connection(fd, ++connections_);
    tServing = &connection;
    for (std::size_t served = 1; served <= kRequestsPerConnection && NextRequest(connection);
         ++served) {
      bool closed = false;
      if (!process_request(connection, served == kRequestsPerConnection, closed, nullptr) ||
          closed || connection.takenOver())
        break;
    }
    tServing = nullptr;
    shutdown(fd, SHUT_RDWR);
    close(fd);
    return true;
  }

  // Whether a request (or the client's close) arrives within the keep-alive time.
  bool NextRequest(const Connection& connection) const {
    if (connection.Buffered()) return true;
    const auto end = Clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
    while (svr_sock_ != INVALID_SOCKET && Clock::now() < end) {
      if (Ready(connection.fd(), POLLIN, 50)) return true;
    }
    return false;
  }

  std::atomic<std::uint64_t> connections_{0};
};

Reply FileReply(const fs::path& root, const std::string& relative) {
  const auto file = ResolveServedFile(root, relative);
  if (!file) return NotFound();
  return {.contentType = ContentTypeFor(*file), .body = FileBody(*file)};
}

Server::Server(ServerOptions options)
    : options_(std::move(options)), listener_(std::make_unique<Listener>()) {
  listener_->new_task_queue = [] { return new ThreadPerConnection; };
  // Without SO_REUSEPORT, so that a second server on a port in use fails instead of sharing it.
  listener_->set_socket_options([](socket_t socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });
  listener_->set_pre_routing_handler(
      [this](const httplib::Request& request, httplib::Response& response) {
        Handle(request, response);
        return httplib::Server::HandlerResponse::Handled;
      });
  port_ = options_.port == 0 ? listener_->bind_to_any_port("127.0.0.1")
          : listener_->bind_to_port("127.0.0.1", options_.port) ? options_.port
                                                                : -1;
  if (port_ <= 0)
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(options_.port));
  thread_ = std::thread([this] { listener_->listen_after_bind(); });
  // stop() does nothing until the loop runs: a server destroyed sooner would never end.
  while (!listener_->is_running())
    std::this_thread::sleep_for(1ms);
}

Server::~Server() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  listener_->stop();
  thread_.join();
}

std::string Server::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

void Server::Answer(const std::string& path, Reply reply) {
  std::lock_guard lock(mutex_);
  answers_[path] = std::move(reply);
}

std::vector<ServedRequest> Server::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

int Server::RequestsFor(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(requests_.begin(), requests_.end(),
                                        [&](const ServedRequest& r) { return r.path == path; }));
}

void Server::Hold(const std::string& path) {
  std::lock_guard lock(mutex_);
  held_.insert(path);
}

void Server::WaitUntilHeld(const std::string& path) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, 30s, [&] { return waiting_.count(path) > 0; }))
    throw std::runtime_error("no request for " + path + " arrived");
}

void Server::Release(const std::string& path) {
  {
    std::lock_guard lock(mutex_);
    held_.erase(path);
  }
  changed_.notify_all();
}

void Server::Handle(const httplib::Request& request, httplib::Response& response) {
  const std::string path = request.path.empty() ? "" : request.path.substr(1);
  WaitWhileHeld(path);
  const Reply reply = Choose(path, request);
  Connection& connection = *tServing;
  const ServedRequest served{request.method, path, request.target, reply.status,
                             connection.number()};
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(served);
  }
  if (options_.log) options_.log(served);
  if (!reply.Misbehaves()) return SendPlain(reply, request, response);
  connection.TakeOver();
  SendMisbehaving(connection.fd(), reply, stopping_);
}

Reply Server::Choose(const std::string& path, const httplib::Request& request) const {
  {
    std::lock_guard lock(mutex_);
    const auto found = answers_.find(path);
    if (found != answers_.end()) return found->second;
  }
  if (options_.respond) {
    if (auto reply = options_.respond(request)) return std::move(*reply);
  }
  if (!options_.root.empty() && path.rfind("patch/", 0) == 0)
    return FileReply(options_.root, path.substr(6));
  return NotFound();
}

void Server::WaitWhileHeld(const std::string& path) {
  std::unique_lock lock(mutex_);
  if (!held_.count(path)) return;
  waiting_.insert(path);
  changed_.notify_all();
  changed_.wait(lock, [&] { return !held_.count(path) || stopping_; });
  waiting_.erase(waiting_.find(path));
}

}  // namespace patchserver
