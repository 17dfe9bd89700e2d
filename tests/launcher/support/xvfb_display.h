// A private X server for tests that open windows: Xvfb on a display number of its own choosing.
#pragma once

#include <sys/types.h>

#include <string>

namespace testing_support {

class XvfbDisplay {
 public:
  // Starts Xvfb with one screen of width x height x 24 and waits until it accepts clients.
  // Throws when it does not come up.
  XvfbDisplay(int width = 1920, int height = 1080);
  ~XvfbDisplay();  // ends the server
  XvfbDisplay(const XvfbDisplay&) = delete;
  XvfbDisplay& operator=(const XvfbDisplay&) = delete;

  // ":<number>", the value for DISPLAY.
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// One display for the whole test program, started on first use and exported as DISPLAY; a
// process that has opened GTK on a display must keep that display for its whole life.
const XvfbDisplay& SharedDisplay();

}  // namespace testing_support
