// Starting another program: the game, or a launcher taking over from this one.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct CommandLine {
  std::string program;                 // full path, UTF-8
  std::vector<std::string> arguments;  // each passed as one argument, UTF-8
  bool quoteProgram = true;            // Windows text form only: the path in double quotes
};

// The Windows form of a command line: the program (in double quotes when asked), then each
// argument after one space, nothing escaped. It is what CreateProcessW receives and what the
// launcher logs on every platform.
std::string FormatCommandLine(const CommandLine& commandLine);

struct StartResult {
  bool started = false;
  // GetLastError on Windows, the errno of posix_spawn on Linux; both give 2 for a missing file.
  unsigned long errorCode = 0;
};

// Starts the program in `workingDirectory` with this process's environment, inheriting no
// handles, and lets it run on its own: nothing of it is kept, nothing waits for it.
// Windows: CreateProcessW with no application name and the text form above. Linux: posix_spawn
// with argv = program, arguments.
StartResult StartProcess(const CommandLine& commandLine, const std::string& workingDirectory);

// Ends this process at once with `code`, running no destructors and no exit handlers.
[[noreturn]] void ExitProcessNow(int code);

}  // namespace platform
