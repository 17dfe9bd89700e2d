#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "tests/settings/test_display.h"

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
    const std::string screen =
        std::to_string(kScreen.width) + "x" + std::to_string(kScreen.height) + "x24";
    // -noreset: the server would otherwise reset whenever its last client leaves, and every
    // display query of the launcher is a short-lived client of its own.
    const char* argv[] = {"Xvfb", "-displayfd",   "3",         "-noreset", "-screen",
                          "0",    screen.c_str(), "-nolisten", "tcp",      nullptr};
    pid_ = fork();
    if (pid_ == 0) {
      // The server goes with the test program, even when that one crashes.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      dup2(pipeEnds[1], 3);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execvp(argv[0], const_cast<char**>(argv));
      _exit(127);
    }
    close(pipeEnds[1]);
    const std::string number = pid_ > 0 ? ReadLine(pipeEnds[0]) : std::string();
    close(pipeEnds[0]);
    if (number.empty()) throw std::runtime_error("Xvfb did not start");
    setenv("DISPLAY", (":" + number).c_str(), 1);
  }

  ~XvfbServer() {
    if (pid_ <= 0) return;
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
