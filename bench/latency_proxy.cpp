// A TCP proxy on loopback that delays every byte by a fixed time in each direction, so that
// transfers over loopback see the round trips of a distant server (this kernel has no netem).
//
//   latency_proxy <target port> <round-trip milliseconds> <port file>
//
// Listens on a free port of 127.0.0.1, writes its number to <port file> once it accepts, and
// forwards every connection to 127.0.0.1:<target port>. Whatever one side sends reaches the other
// half the round trip later; bandwidth is not limited. Ends on SIGTERM or SIGINT.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadSize = 64 * 1024;
// Bytes in flight per direction before the reader waits: far above what one round trip carries
// at loopback speed with the delays measured here, so the queue never limits the bandwidth.
constexpr std::size_t kMaxQueued = 256u << 20;

struct Piece {
  Clock::time_point due;
  std::string bytes;  // empty: the sender finished
};

// One direction of a connection: a reader thread queues what arrives, stamped with the time it
// may leave; a writer thread sends each piece when its time has come.
class Direction {
 public:
  Direction(int from, int to, Clock::duration delay) : from_(from), to_(to), delay_(delay) {}

  void Read() {
    std::vector<char> buffer(kReadSize);
    while (true) {
      const ssize_t got = recv(from_, buffer.data(), buffer.size(), 0);
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return queued_ < kMaxQueued || failed_; });
      if (failed_) return;
      Piece piece{Clock::now() + delay_, {}};
      if (got > 0) piece.bytes.assign(buffer.data(), static_cast<std::size_t>(got));
      queued_ += piece.bytes.size();
      pieces_.push_back(std::move(piece));
      changed_.notify_all();
      if (got <= 0) return;
    }
  }

  void Write() {
    while (true) {
      Piece piece;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !pieces_.empty(); });
        piece = std::move(pieces_.front());
        pieces_.pop_front();
        queued_ -= piece.bytes.size();
        changed_.notify_all();
      }
      std::this_thread::sleep_until(piece.due);
      if (piece.bytes.empty()) {
        shutdown(to_, SHUT_WR);
        return;
      }
      if (!SendAll(piece.bytes)) {
        // The receiver is gone: stop reading for it as well.
        std::lock_guard lock(mutex_);
        failed_ = true;
        changed_.notify_all();
        shutdown(from_, SHUT_RD);
        return;
      }
    }
  }

 private:
  bool SendAll(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t wrote = send(to_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (wrote <= 0) return false;
      sent += static_cast<std::size_t>(wrote);
    }
    return true;
  }

  int from_;
  int to_;
  Clock::duration delay_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Piece> pieces_;
  std::size_t queued_ = 0;
  bool failed_ = false;
};

// Both directions of one proxied connection; the sockets close when the last thread is done.
struct Connection {
  Connection(int clientSocket, int serverSocket, Clock::duration delay)
      : client(clientSocket),
        server(serverSocket),
        up(clientSocket, serverSocket, delay),
        down(serverSocket, clientSocket, delay) {}
  ~Connection() {
    close(client);
    close(server);
  }
  int client;
  int server;
  Direction up;
  Direction down;
};

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

void NoDelay(int socket) {
  int yes = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
}

void Serve(int client, int targetPort, Clock::duration delay) {
  const int server = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in target = Loopback(targetPort);
  if (server < 0 ||
      connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof(target)) != 0) {
    if (server >= 0) close(server);
    close(client);
    return;
  }
  NoDelay(client);
  NoDelay(server);
  auto connection = std::make_shared<Connection>(client, server, delay);
  std::thread([connection] { connection->up.Read(); }).detach();
  std::thread([connection] { connection->up.Write(); }).detach();
  std::thread([connection] { connection->down.Read(); }).detach();
  std::thread([connection] { connection->down.Write(); }).detach();
}

int Listen(const std::string& portFile) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  socklen_t size = sizeof(address);
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener, 128) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return -1;
  }
  const std::string temporary = portFile + ".new";
  std::ofstream(temporary) << ntohs(address.sin_port) << "\n";
  std::rename(temporary.c_str(), portFile.c_str());
  return listener;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <target port> <round-trip milliseconds> <port file>\n",
                 argv[0]);
    return 2;
  }
  const int targetPort = std::atoi(argv[1]);
  const auto delay = std::chrono::microseconds(std::atol(argv[2]) * 1000 / 2);
  signal(SIGPIPE, SIG_IGN);
  const int listener = Listen(argv[3]);
  if (listener < 0) {
    std::perror("latency_proxy: cannot listen");
    return 1;
  }
  while (true) {
    const int client = accept(listener, nullptr, nullptr);
    if (client >= 0) Serve(client, targetPort, delay);
  }
}
