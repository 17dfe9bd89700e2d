#include "bench/bench_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace bench {

namespace {

std::vector<char*> ArgumentPointers(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& argument : argv)
    pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Standard output goes to `output` when it is set, standard error too when `withErrors`.
int Spawn(const std::vector<std::string>& argv, const std::string& output, bool withErrors) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!output.empty())
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  if (!output.empty() && withErrors) posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> pointers = ArgumentPointers(argv);
  pid_t pid = -1;
  const int error =
      posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

long StatusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
  }
  return -1;
}

}  // namespace

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double TimeCommand(const std::vector<std::string>& argv) {
  const auto start = std::chrono::steady_clock::now();
  const int pid = Spawn(argv, "/dev/null", false);
  if (pid < 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = SecondsSince(start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

int StartBackground(const std::vector<std::string>& argv, const std::string& output) {
  const int pid = Spawn(argv, output, true);
  if (pid < 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

void Stop(int pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

void PrepareDataFile(const std::string& path, std::uint64_t size) {
  std::error_code error;
  if (std::filesystem::file_size(path, error) != size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
    for (std::uint64_t written = 0; written < size; written += 8 * block.size()) {
      for (auto& word : block)
        word = random();
      out.write(
          reinterpret_cast<const char*>(block.data()),
          static_cast<std::streamsize>(std::min<std::uint64_t>(8 * block.size(), size - written)));
    }
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
  }
}

long ResidentKiB() {
  return StatusField("VmRSS");
}

long PeakResidentKiB() {
  return StatusField("VmHWM");
}

void ResetPeakResident() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

FileServer::FileServer(const std::filesystem::path& root)
    : log_(std::filesystem::temp_directory_path() /
           ("velmora-bench-server-" + std::to_string(getpid()) + ".log")) {
  const auto program =
      std::filesystem::read_symlink("/proc/self/exe").parent_path() / "patchserver";
  pid_ = StartBackground({program.string(), "--root", root.string(), "--port", "0"}, log_.string());
  // It names its address once it listens.
  for (int attempt = 0; attempt < 500 && url_.empty(); ++attempt) {
    std::ifstream log(log_);
    for (std::string line; url_.empty() && std::getline(log, line);) {
      const std::size_t at = line.find(" at http://");
      if (at != std::string::npos) url_ = line.substr(at + 4);
    }
    if (url_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (url_.empty()) throw std::runtime_error("the patch server did not start");
}

FileServer::~FileServer() {
  Stop(pid_);
  std::filesystem::remove(log_);
}

}  // namespace bench
