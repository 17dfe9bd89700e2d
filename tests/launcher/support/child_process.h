// Another program started by a test, with its own environment, its output kept in a file.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"

namespace testing_support {

// Variables to set (a value) or remove (no value) in the child's copy of this environment.
using EnvironmentChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

class ChildProcess {
 public:
  // Starts argv[0] (searched on PATH when it holds no slash) in `workingDirectory` (this
  // process's own when empty); its standard output and error go to one file.
  explicit ChildProcess(const std::vector<std::string>& argv,
                        const EnvironmentChanges& environment = {},
                        const std::string& workingDirectory = "");
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The exit code once the child has ended within `timeout`; nothing if it still runs. A child
  // ended by a signal reports 128 + the signal number.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  bool Running();
  // Ends the child with SIGTERM (SIGKILL after 5 s) and reaps it.
  void Stop();
  std::string Output() const;
  // Whether `text` appears in the output within `timeout` (checked until the child ends).
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
  pid_t pid() const { return pid_; }
  // When the child was started.
  std::chrono::steady_clock::time_point started() const { return started_; }

 private:
  TempDir folder_{"velmora-child"};
  pid_t pid_ = -1;
  std::optional<int> exitCode_;
  std::chrono::steady_clock::time_point started_;
};

// What SpawnTiedChild starts: argv[0] is searched on PATH when it holds no slash; `environment`
// holds "NAME=value" texts; output and error go to `outputPath` (/dev/null when empty);
// `descriptor3`, when not -1, becomes the child's descriptor 3.
struct SpawnRequest {
  std::vector<std::string> argv;
  std::vector<std::string> environment;
  std::string outputPath;
  std::string workingDirectory;
  int descriptor3 = -1;
};

// Starts a child that the kernel kills when the test process ends, however it ends, so a
// crashed test leaves no X server or patch server behind. Throws when it cannot start.
pid_t SpawnTiedChild(const SpawnRequest& request);

// The processes whose program is `program` (a canonical path), found in /proc: programs started
// by a child, a launcher restarted by its successor for one, are no children of the test.
std::vector<pid_t> ProcessesRunning(const std::filesystem::path& program);

// Runs a short command to its end (at most `timeout`) and returns its exit code, -1 on time-out.
int RunCommand(const std::vector<std::string>& argv,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace testing_support
