#include "tests/launcher/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testing_support {

namespace {

std::vector<std::string> ChangedEnvironment(const EnvironmentChanges& changes) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals != nullptr)
      variables[std::string(*entry, static_cast<std::size_t>(equals - *entry))] = equals + 1;
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      variables[name] = *value;
    } else {
      variables.erase(name);
    }
  }
  std::vector<std::string> result;
  for (const auto& [name, value] : variables)
    result.push_back(name + "=" + value);
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts)
    pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// The program file argv[0] names, found before forking (the child may only make simple calls).
std::string ProgramPath(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= folders.size();) {
    const std::size_t colon = std::min(folders.find(':', start), folders.size());
    const std::string candidate = folders.substr(start, colon - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = colon + 1;
  }
  return program;
}

// In the forked child: only async-signal-safe calls until exec.
[[noreturn]] void BecomeChild(const std::string& program, char* const* argv, char* const* envp,
                              const char* output, const char* folder, int descriptor3,
                              pid_t parent) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);  // the parent is already gone
  const int input = open("/dev/null", O_RDONLY);
  const int sink = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (input < 0 || sink < 0) _exit(127);
  dup2(input, 0);
  dup2(sink, 1);
  dup2(sink, 2);
  if (descriptor3 == 3) fcntl(3, F_SETFD, 0);  // keep it open across exec
  if (descriptor3 >= 0 && descriptor3 != 3) dup2(descriptor3, 3);
  if (folder[0] != '\0' && chdir(folder) != 0) _exit(127);
  execve(program.c_str(), argv, envp);
  _exit(127);
}

}  // namespace

pid_t SpawnTiedChild(const SpawnRequest& request) {
  std::vector<std::string> arguments = request.argv;
  std::vector<std::string> variables = request.environment;
  const std::string program = ProgramPath(arguments.at(0));
  const std::vector<char*> argv = Pointers(arguments);
  const std::vector<char*> envp = Pointers(variables);
  const std::string output = request.outputPath.empty() ? "/dev/null" : request.outputPath;
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) {
    BecomeChild(program, argv.data(), envp.data(), output.c_str(), request.workingDirectory.c_str(),
                request.descriptor3, parent);
  }
  if (child < 0) throw std::runtime_error("cannot start " + request.argv.at(0));
  return child;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const EnvironmentChanges& environment,
                           const std::string& workingDirectory) {
  started_ = std::chrono::steady_clock::now();
  pid_ = SpawnTiedChild({argv, ChangedEnvironment(environment),
                         (folder_.path() / "output.txt").string(), workingDirectory});
}

ChildProcess::~ChildProcess() {
  Stop();
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!exitCode_) {
    int status = 0;
    const pid_t ended = waitpid(pid_, &status, WNOHANG);
    if (ended == pid_) {
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else if (std::chrono::steady_clock::now() >= deadline) {
      break;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return exitCode_;
}

bool ChildProcess::Running() {
  return !Wait(std::chrono::milliseconds(0));
}

void ChildProcess::Stop() {
  if (pid_ <= 0 || !Running()) return;
  kill(pid_, SIGTERM);
  if (!Wait(std::chrono::seconds(5))) {
    kill(pid_, SIGKILL);
    Wait(std::chrono::seconds(5));
  }
}

std::string ChildProcess::Output() const {
  return folder_.Read("output.txt");
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline && Running()) {
    if (Output().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return Output().find(text) != std::string::npos;
}

int RunCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  ChildProcess command(argv);
  return command.Wait(timeout).value_or(-1);
}

std::vector<pid_t> ProcessesRunning(const std::filesystem::path& program) {
  std::vector<pid_t> pids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path() / "exe", error) == program)
      pids.push_back(static_cast<pid_t>(std::stol(name)));
  }
  return pids;
}

}  // namespace testing_support
