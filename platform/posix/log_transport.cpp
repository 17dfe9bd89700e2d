#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "log/stuck_viewer.h"
#include "platform/log_socket_path.h"
#include "platform/log_transport.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// One unbound datagram socket per thread, closed when the thread ends. The listener is not
// cached: every line is addressed to the path anew, so a viewer that starts or stops while the
// launcher runs is picked up or dropped from the next line on.
class ThreadSocket {
 public:
  ThreadSocket() { Open(); }
  ~ThreadSocket() { Close(); }
  ThreadSocket(const ThreadSocket&) = delete;
  ThreadSocket& operator=(const ThreadSocket&) = delete;
  int fd() const { return fd_; }

  // A fresh socket: the lines of the old one that a stuck viewer still holds stay charged to the
  // old one's send buffer, which would otherwise keep this thread from sending to a new viewer.
  void Renew() {
    Close();
    Open();
  }

 private:
  void Open() { fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int fd_ = -1;
};

// Checked by every thread before it waits. While a viewer is marked stuck its lines are sent
// without waiting: a line that finds room in its queue still arrives (and ends the mark), one
// that does not is dropped at once. So the mark never needs to expire on its own.
logging::StuckViewerMark stuckViewer(Clock::duration::max());

bool MakeAddress(const std::string& path, sockaddr_un& address) {
  if (path.size() >= sizeof(address.sun_path)) return false;
  std::memset(&address, 0, sizeof(address));
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

void SetSendTimeout(int fd, Clock::duration wait) {
  // A zero time-out would mean "wait for ever".
  const auto micros =
      std::max<long long>(1, std::chrono::duration_cast<std::chrono::microseconds>(wait).count());
  timeval timeout{static_cast<time_t>(micros / 1000000),
                  static_cast<suseconds_t>(micros % 1000000)};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
}

enum class SendResult { Delivered, TimedOut, Failed };

// Sends the datagram, waiting for room in the viewer's queue until `deadline` (not at all when
// `wait` is false).
SendResult SendBefore(int fd, const sockaddr_un& address, const char* data, std::size_t size,
                      bool wait, Clock::time_point deadline) {
  for (;;) {
    int flags = MSG_NOSIGNAL;
    if (wait) {
      const Clock::duration left = deadline - Clock::now();
      if (left <= Clock::duration::zero()) return SendResult::TimedOut;
      SetSendTimeout(fd, left);
    } else {
      flags |= MSG_DONTWAIT;
    }
    const ssize_t sent =
        sendto(fd, data, size, flags, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    if (sent >= 0) return SendResult::Delivered;
    if (errno == EINTR && wait) continue;  // the time left is measured again
    if (errno == EAGAIN || errno == EWOULDBLOCK) return SendResult::TimedOut;
    return SendResult::Failed;  // nobody bound at the address, a line too long for a datagram
  }
}

void Deliver(const char* text, std::size_t length) {
  thread_local ThreadSocket socket;
  const LogSocketLocation location = CurrentLogSocketLocation();
  sockaddr_un address;
  if (socket.fd() < 0) socket.Renew();
  if (socket.fd() < 0 || !MakeAddress(location.path, address)) return;
  const std::optional<unsigned long long> viewer = FindOwnLogSocket(location);
  if (!viewer) return;  // no viewer, or a socket this user does not own

  const Clock::time_point start = Clock::now();
  const bool wait = stuckViewer.MayWait(*viewer, start);
  switch (SendBefore(socket.fd(), address, text, length + 1, wait, start + logging::kViewerWait)) {
    case SendResult::Delivered:
      stuckViewer.Delivered(*viewer);
      break;
    case SendResult::TimedOut:
      if (wait) {
        stuckViewer.TimedOut(*viewer, Clock::now());
        socket.Renew();
      }
      break;
    case SendResult::Failed:
      break;
  }
}

}  // namespace

void SendLogLine(const char* text, std::size_t length) {
  const int savedErrno = errno;  // a missing viewer must not disturb the caller's error state
  Deliver(text, length);
  errno = savedErrno;
}

}  // namespace platform
