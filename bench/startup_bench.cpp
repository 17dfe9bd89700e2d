// How fast the Linux launcher comes up: from the moment its process is started to
//   - its first log line (the reference: loading the program and its libraries),
//   - its window on the screen,
//   - the page's first bridge call ("GetConfig called"),
//   - the first paint of the page (the active tab's accent-blue underline on screen).
// Each run starts the launcher on a fresh 1920 x 1080 Xvfb display and stops it once the page
// is drawn; the program prints the median of every figure over the runs and its ratio to the
// reference.
//
//   startup_bench <Launcher.exe> [runs]      (10 runs by default)

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "platform/log_socket_path.h"
#include "tests/launcher/support/child_process.h"
#include "tests/launcher/support/x11_windows.h"
#include "tests/launcher/support/xvfb_display.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kWindowX = 560;
constexpr int kWindowY = 240;

// Receives the launcher's log lines and notes when each arrived.
class TimedLogListener {
 public:
  TimedLogListener() {
    const std::string path = platform::LogSocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(),
                std::min(path.size() + 1, sizeof(address.sun_path)));
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    unlink(path.c_str());
    if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
      throw std::runtime_error("cannot bind " + path);
    timeval timeout{0, 20 * 1000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    receiver_ = std::thread([this] { Receive(); });
  }
  ~TimedLogListener() {
    stop_ = true;
    receiver_.join();
    close(fd_);
    unlink(platform::LogSocketPath().c_str());
  }

  // When the first line holding `text` arrived, if it has.
  std::optional<Clock::time_point> FirstLineWith(const std::string& text) {
    std::lock_guard lock(mutex_);
    for (const auto& [line, time] : lines_) {
      if (line.find(text) != std::string::npos) return time;
    }
    return {};
  }
  std::optional<Clock::time_point> FirstLine() {
    std::lock_guard lock(mutex_);
    if (lines_.empty()) return {};
    return lines_.front().second;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }

 private:
  void Receive() {
    std::vector<char> buffer(1 << 16);
    while (!stop_) {
      const ssize_t size = recv(fd_, buffer.data(), buffer.size(), 0);
      if (size <= 0) continue;
      const auto now = Clock::now();
      std::lock_guard lock(mutex_);
      lines_.emplace_back(std::string(buffer.data(), static_cast<std::size_t>(size)), now);
    }
  }

  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread receiver_;
  std::mutex mutex_;
  std::vector<std::pair<std::string, Clock::time_point>> lines_;
};

struct RunTimes {
  double firstLine = 0;
  double window = 0;
  double getConfig = 0;
  double firstPaint = 0;
};

double Milliseconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

bool PageIsDrawn() {
  const testing_support::Rgb underline =
      testing_support::ScreenPixel(kWindowX + 200, kWindowY + 75);
  return underline.blue > 150 && underline.red < 120;
}

std::optional<RunTimes> MeasureOneStart(const std::string& launcher, TimedLogListener& log) {
  const testing_support::XvfbDisplay display(1920, 1080);
  setenv("DISPLAY", display.name().c_str(), 1);
  const testing_support::TempDir config("velmora-bench-config");
  log.Clear();

  testing_support::ChildProcess process({launcher}, {{"DISPLAY", display.name()},
                                                     {"WAYLAND_DISPLAY", std::nullopt},
                                                     {"XDG_CONFIG_HOME", config.utf8()}});
  const Clock::time_point started = process.started();
  std::optional<Clock::time_point> window;
  std::optional<Clock::time_point> painted;
  const Clock::time_point deadline = started + 60s;
  while (!painted && Clock::now() < deadline && process.Running()) {
    if (!window && testing_support::FindWindowByTitle("Velmora Launcher", 0ms))
      window = Clock::now();
    if (window && PageIsDrawn()) painted = Clock::now();
    std::this_thread::sleep_for(2ms);
  }
  std::optional<Clock::time_point> getConfig;
  for (int i = 0; i < 500 && !getConfig; ++i) {
    getConfig = log.FirstLineWith("GetConfig called");
    if (!getConfig) std::this_thread::sleep_for(10ms);
  }
  const std::optional<Clock::time_point> firstLine = log.FirstLine();
  process.Stop();
  if (!window || !painted || !getConfig || !firstLine) return {};
  return RunTimes{Milliseconds(started, *firstLine), Milliseconds(started, *window),
                  Milliseconds(started, *getConfig), Milliseconds(started, *painted)};
}

void PrintFigure(const char* name, const std::vector<double>& values, double reference) {
  const double median = bench::Median(values);
  std::printf("  %-34s median %8.1f ms   min %8.1f   max %8.1f   %6.1f x reference\n", name, median,
              *std::min_element(values.begin(), values.end()),
              *std::max_element(values.begin(), values.end()), median / reference);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s <Launcher.exe> [runs]\n", argv[0]);
    return 2;
  }
  const std::string launcher = argv[1];
  const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 10;

  // A private log socket, so a viewer the user runs does not take the lines.
  const testing_support::TempDir runtime("velmora-bench-runtime");
  setenv("XDG_RUNTIME_DIR", runtime.utf8().c_str(), 1);
  TimedLogListener log;

  std::vector<double> firstLine, window, getConfig, firstPaint;
  for (int run = 1; run <= runs; ++run) {
    const std::optional<RunTimes> times = MeasureOneStart(launcher, log);
    if (!times) {
      std::fprintf(stderr, "run %d: the launcher did not come up within 60 s\n", run);
      return 1;
    }
    std::fprintf(stderr,
                 "run %2d: first line %.1f ms, window %.1f ms, GetConfig %.1f ms, "
                 "first paint %.1f ms\n",
                 run, times->firstLine, times->window, times->getConfig, times->firstPaint);
    firstLine.push_back(times->firstLine);
    window.push_back(times->window);
    getConfig.push_back(times->getConfig);
    firstPaint.push_back(times->firstPaint);
  }

  const double reference = bench::Median(firstLine);
  std::printf("Launcher start-up under Xvfb, %d runs, from process start:\n", runs);
  PrintFigure("first log line (reference)", firstLine, reference);
  PrintFigure("window on screen", window, reference);
  PrintFigure("first GetConfig call", getConfig, reference);
  PrintFigure("first paint of the page", firstPaint, reference);
  return 0;
}
