// Runs the game update of one folder against one patch server, as the launcher's worker does,
// so that a test can kill it with SIGKILL in the middle: update_probe <base URL> <game folder>.
// Prints the final status report; exit code 0 when the update completed, 1 otherwise.
#include <chrono>
#include <cstdio>
#include <thread>

#include "update/update_manager.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  UpdateManager manager(argv[1], argv[2]);
  manager.CheckUpdate();
  while (true) {
    const UpdateStatus status = manager.CopyStatus();
    if (status.state == UpdateState::Complete || status.state == UpdateState::UpToDate) break;
    if (status.state == UpdateState::Error || status.state == UpdateState::Idle) {
      if (status.message != "Ready") {
        std::printf("%s\n", manager.GetStatusJson().c_str());
        return 1;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::printf("%s\n", manager.GetStatusJson().c_str());
  return 0;
}
