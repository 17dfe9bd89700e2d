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

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/timed_log_listener.h"
#include "tests/launcher/support/child_process.h"
#include "tests/launcher/support/x11_windows.h"
#include "tests/launcher/support/xvfb_display.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::TimedLogListener;
using namespace std::chrono_literals;

constexpr int kWindowX = 560;
constexpr int kWindowY = 240;

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
