#include "tests/launcher/support/xvfb_display.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "tests/launcher/support/child_process.h"

extern char** environ;

namespace testing_support {

namespace {

// Reads what Xvfb writes to its -displayfd pipe: the display number and a newline.
std::string ReadDisplayNumber(int fd) {
  std::string number;
  for (;;) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 10000) <= 0) break;
    char c = 0;
    if (read(fd, &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  return number;
}

bool AcceptsClients(const std::string& name) {
  Display* display = XOpenDisplay(name.c_str());
  if (display == nullptr) return false;
  XCloseDisplay(display);
  return true;
}

}  // namespace

XvfbDisplay::XvfbDisplay(int width, int height) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  SpawnRequest request;
  request.argv = {"Xvfb", "-displayfd", "3",   "-screen", "0",
                  screen, "-nolisten",  "tcp", "-noreset"};
  for (char** entry = environ; *entry != nullptr; ++entry)
    request.environment.emplace_back(*entry);
  request.descriptor3 = pipeEnds[1];
  try {
    pid_ = SpawnTiedChild(request);
  } catch (...) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    throw;
  }
  close(pipeEnds[1]);
  const std::string number = ReadDisplayNumber(pipeEnds[0]);
  close(pipeEnds[0]);
  if (number.empty()) {
    kill(pid_, SIGTERM);
    throw std::runtime_error("Xvfb did not start");
  }
  name_ = ":" + number;
  for (int i = 0; i < 100 && !AcceptsClients(name_); ++i)
    usleep(20 * 1000);
}
XvfbDisplay::~XvfbDisplay() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
}

const XvfbDisplay& SharedDisplay() {
  static const XvfbDisplay display;
  setenv("DISPLAY", display.name().c_str(), 1);
  return display;
}

}  // namespace testing_support
