#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "tests/settings/test_display.h"

extern char** environ;

namespace settings_testing {

namespace {

constexpr platform::ScreenSize kScreen{1600, 900};

// An Xvfb server that lives as long as the test program; it reports its display number through
// the pipe handed to it as -displayfd.
class XvfbServer {
 public:
  XvfbServer() {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string screen =
        std::to_string(kScreen.width) + "x" + std::to_string(kScreen.height) + "x24";
    const char* argv[] = {"Xvfb",         "-displayfd", "3",   "-screen", "0",
                          screen.c_str(), "-nolisten",  "tcp", nullptr};
    const int error =
        posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (error != 0) {
      close(pipeEnds[0]);
      throw std::runtime_error("cannot start Xvfb");
    }
    const std::string number = ReadLine(pipeEnds[0]);
    close(pipeEnds[0]);
    if (number.empty()) throw std::runtime_error("Xvfb reported no display");
    setenv("DISPLAY", (":" + number).c_str(), 1);
  }

  ~XvfbServer() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

 private:
  static std::string ReadLine(int fd) {
    std::string line;
    pollfd wait{fd, POLLIN, 0};
    char c = 0;
    while (poll(&wait, 1, 10000) > 0 && read(fd, &c, 1) == 1 && c != '\n')
      line += c;
    return line;
  }

  pid_t pid_ = 0;
};

}  // namespace

platform::ScreenSize EnsureTestDisplay() {
  static XvfbServer server;
  return kScreen;
}

}  // namespace settings_testing
