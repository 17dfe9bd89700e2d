#include <spawn.h>
#include <sys/wait.h>

#include <thread>

#include "platform/browser.h"

extern char** environ;

namespace platform {

bool OpenInDefaultBrowser(const std::string& url) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The opener gets only its standard streams, none of the launcher's sockets or files.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  char program[] = "xdg-open";
  char* argv[] = {program, const_cast<char*>(url.c_str()), nullptr};
  pid_t child = 0;
  const int error = posix_spawnp(&child, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return false;
  // xdg-open hands over to the browser and ends; collect it so it leaves no zombie behind.
  std::thread([child] { waitpid(child, nullptr, 0); }).detach();
  return true;
}

}  // namespace platform
