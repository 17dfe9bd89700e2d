#include <spawn.h>
#include <unistd.h>

#include "platform/process.h"

extern char** environ;

namespace platform {

namespace {

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace

StartResult StartProcess(const CommandLine& commandLine, const std::string& workingDirectory) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(commandLine.program.c_str()));
  for (const std::string& argument : commandLine.arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);

  SpawnActions actions;
  if (!workingDirectory.empty()) {
    posix_spawn_file_actions_addchdir_np(actions.get(), workingDirectory.c_str());
  }
  // Like CreateProcessW without handle inheritance: the child gets only its standard streams.
  posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
  pid_t child = 0;
  const int error = posix_spawn(&child, commandLine.program.c_str(), actions.get(), nullptr,
                                argv.data(), environ);
  if (error != 0) return {false, static_cast<unsigned long>(error)};
  return {true, 0};
}

void ExitProcessNow(int code) {
  _exit(code);
}

}  // namespace platform
