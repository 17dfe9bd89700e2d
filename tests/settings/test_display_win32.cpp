#include "tests/settings/test_display.h"

namespace settings_testing {

platform::ScreenSize EnsureTestDisplay() {
  return {1920, 1080};  // cmake/wine/run.sh starts Xvfb with -screen 0 1920x1080x24
}

}  // namespace settings_testing
