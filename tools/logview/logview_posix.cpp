// The log viewer for Linux: listens on the launcher's log socket and prints every line.
//
//   logview          one line per message, as text
//   logview --raw    every message byte for byte, its terminating NUL included (for scripts)
//
// The socket address is the launcher's (platform/log_socket_path.h): $XDG_RUNTIME_DIR/TarsenWndLog,
// or /tmp/velmora-<uid>/TarsenWndLog when XDG_RUNTIME_DIR is unset; the viewer creates that folder
// with mode 0700 and refuses one that is a link, another user's, or open to others. The viewer
// owns the address while it runs and removes it when it ends.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/log_socket_path.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
  stopRequested = 1;
}

int BindSocket(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof(address.sun_path)) {
    std::fprintf(stderr, "logview: socket path too long: %s\n", path.c_str());
    return -1;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::perror("logview: socket");
    return -1;
  }
  unlink(path.c_str());  // an address left behind by a viewer that did not end cleanly
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    std::fprintf(stderr, "logview: cannot listen on %s: %s\n", path.c_str(), std::strerror(errno));
    close(fd);
    return -1;
  }
  return fd;
}

// Text mode: the line without its NUL and with its CR LF shown as one line end.
void PrintLine(const char* data, size_t size) {
  std::string line(data, strnlen(data, size));
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  std::printf("%s\n", line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const bool raw = argc > 1 && std::strcmp(argv[1], "--raw") == 0;
  if (argc > 2 || (argc == 2 && !raw)) {
    std::fprintf(stderr, "usage: %s [--raw]\n", argv[0]);
    return 2;
  }

  struct sigaction action {};
  action.sa_handler = RequestStop;  // no SA_RESTART: recv returns so the loop can end
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  const platform::LogSocketLocation location = platform::CurrentLogSocketLocation();
  const std::string folderProblem = platform::PrepareLogSocketFolder(location);
  if (!folderProblem.empty()) {
    std::fprintf(stderr, "logview: cannot listen: %s\n", folderProblem.c_str());
    return 1;
  }
  const std::string& path = location.path;
  const int fd = BindSocket(path);
  if (fd < 0) return 1;
  std::fprintf(stderr, "logview: listening on %s\n", path.c_str());

  // Unix datagrams arrive whole; a buffer larger than any line the launcher writes.
  std::vector<char> buffer(1 << 20);
  while (stopRequested == 0) {
    const ssize_t size = recv(fd, buffer.data(), buffer.size(), 0);
    if (size < 0) continue;  // interrupted by a signal; the loop test decides
    if (raw) {
      std::fwrite(buffer.data(), 1, static_cast<size_t>(size), stdout);
    } else {
      PrintLine(buffer.data(), static_cast<size_t>(size));
    }
    std::fflush(stdout);
  }
  close(fd);
  unlink(path.c_str());
  return 0;
}
