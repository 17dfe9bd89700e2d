#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/log_socket_path.h"
#include "platform/log_transport.h"

namespace platform {

std::string LogSocketPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') return std::string(runtime) + "/TarsenWndLog";
  return "/tmp/TarsenWndLog-" + std::to_string(getuid());
}

namespace {

// One unbound datagram socket per thread, closed when the thread ends. The listener is not
// cached: every line is addressed to the path anew, so a viewer that starts or stops while the
// launcher runs is picked up or dropped from the next line on.
class ThreadSocket {
 public:
  ThreadSocket() : fd_(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
  ~ThreadSocket() {
    if (fd_ >= 0) close(fd_);
  }
  ThreadSocket(const ThreadSocket&) = delete;
  ThreadSocket& operator=(const ThreadSocket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

bool MakeAddress(sockaddr_un& address) {
  const std::string path = LogSocketPath();
  if (path.size() >= sizeof(address.sun_path)) return false;
  std::memset(&address, 0, sizeof(address));
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

void SendLogLine(const char* text, std::size_t length) {
  thread_local ThreadSocket socket;
  sockaddr_un address;
  if (socket.fd() < 0 || !MakeAddress(address)) return;

  const int savedErrno = errno;  // a missing viewer must not disturb the caller's error state
  for (;;) {
    const ssize_t sent = sendto(socket.fd(), text, length + 1, MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    if (sent >= 0 || errno != EINTR) break;
  }
  errno = savedErrno;
}

}  // namespace platform
