// How long the player waits while the launcher replaces itself: from the old launcher's
// "Launching new launcher with upgrade" line to the restarted launcher's first bridge call
// ("GetConfig called"), with the parts in between:
//   - the new program coming up (to its first hand-over line),
//   - the hand-over itself (the 500 ms wait, deletions, rename: to "Rename successful"),
//   - the restarted launcher coming up (to "GetConfig called").
// The reference is a plain start of the same (new) launcher, process start to "GetConfig
// called", measured in the same runs. Each run installs the old launcher afresh and starts it on
// a fresh Xvfb display; the new one is published into the patch tree that a web server serves at
// the old one's patch URL (bench/self_update.sh runs nginx for it).
//
//   self_update_bench <old Launcher.exe> <new Launcher.exe, 1.0.4> <patch tree> <patch url> [runs]

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/timed_log_listener.h"
#include "tests/launcher/support/child_process.h"
#include "tests/launcher/support/xvfb_display.h"
#include "tests/support/temp_dir.h"
#include "tools/publish/launcher_release.h"

namespace {

namespace fs = std::filesystem;
using bench::TimedLogListener;
using Clock = TimedLogListener::Clock;
using namespace std::chrono_literals;

struct HandOverTimes {
  double total = 0;     // apply line to the restarted launcher's GetConfig
  double newStart = 0;  // apply line to the hand-over's first line
  double handOver = 0;  // first hand-over line to "Rename successful"
  double restart = 0;   // "Rename successful" to GetConfig
  double plainStart = 0;
};

double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

std::optional<Clock::time_point> WaitForLine(TimedLogListener& log, const std::string& text,
                                             Clock::time_point after = {}) {
  for (int i = 0; i < 12000; ++i) {  // two minutes
    if (const auto time = log.FirstLineWith(text, after)) return time;
    std::this_thread::sleep_for(10ms);
  }
  return {};
}

void StopLaunchersIn(const fs::path& folder) {
  for (int i = 0; i < 100; ++i) {
    const std::vector<pid_t> running = testing_support::ProcessesRunning(folder / "Launcher.exe");
    if (running.empty()) return;
    for (const pid_t pid : running)
      kill(pid, SIGTERM);
    std::this_thread::sleep_for(50ms);
  }
}

std::optional<HandOverTimes> MeasureOneRun(const std::string& oldLauncher, TimedLogListener& log) {
  const testing_support::XvfbDisplay display(1920, 1080);
  const testing_support::TempDir config("velmora-bench-config");
  const testing_support::TempDir install("velmora bench install");
  const fs::path folder = fs::canonical(install.path());
  fs::copy_file(oldLauncher, folder / "Launcher.exe");
  const testing_support::EnvironmentChanges environment = {{"DISPLAY", display.name()},
                                                           {"WAYLAND_DISPLAY", std::nullopt},
                                                           {"XDG_CONFIG_HOME", config.utf8()}};
  log.Clear();

  HandOverTimes times;
  {
    testing_support::ChildProcess old({(folder / "Launcher.exe").string()}, environment,
                                      folder.string());
    const auto apply = WaitForLine(log, "Launching new launcher with upgrade");
    if (!apply) return {};
    const auto first = WaitForLine(log, "Upgrade mode: my path", *apply);
    const auto renamed = first ? WaitForLine(log, "Rename successful", *first) : std::nullopt;
    const auto getConfig = renamed ? WaitForLine(log, "GetConfig called", *renamed) : std::nullopt;
    StopLaunchersIn(folder);
    if (!getConfig) return {};
    times = {Ms(*apply, *getConfig), Ms(*apply, *first), Ms(*first, *renamed),
             Ms(*renamed, *getConfig), 0};
  }

  // The reference: the new launcher, now Launcher.exe and up to date, started directly.
  log.Clear();
  testing_support::ChildProcess plain({(folder / "Launcher.exe").string()}, environment,
                                      folder.string());
  const auto getConfig = WaitForLine(log, "GetConfig called");
  plain.Stop();
  if (!getConfig) return {};
  times.plainStart = Ms(plain.started(), *getConfig);
  return times;
}

void PrintFigure(const char* name, const std::vector<double>& values, double reference) {
  const double median = bench::Median(values);
  std::printf("  %-50s median %8.1f ms   min %8.1f   max %8.1f   %5.2f x reference\n", name, median,
              *std::min_element(values.begin(), values.end()),
              *std::max_element(values.begin(), values.end()), median / reference);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || argc > 6) {
    std::fprintf(
        stderr, "usage: %s <old Launcher.exe> <new Launcher.exe> <patch tree> <patch url> [runs]\n",
        argv[0]);
    return 2;
  }
  const std::string oldLauncher = argv[1];
  const int runs = argc == 6 ? std::max(1, std::atoi(argv[5])) : 5;

  // A private log socket, so a viewer the user runs does not take the lines.
  const testing_support::TempDir runtime("velmora-bench-runtime");
  setenv("XDG_RUNTIME_DIR", runtime.utf8().c_str(), 1);
  TimedLogListener log;

  const auto published =
      publish::PublishLauncher({argv[2], "1.0.4", std::filesystem::u8path(argv[3]), argv[4]});
  if (published.status != publish::PublishStatus::Published) {
    std::fprintf(stderr, "cannot publish %s: %s\n", argv[2], published.error.c_str());
    return 1;
  }

  std::vector<double> total, newStart, handOver, restart, plainStart;
  for (int run = 1; run <= runs; ++run) {
    const std::optional<HandOverTimes> times = MeasureOneRun(oldLauncher, log);
    if (!times) {
      std::fprintf(stderr, "run %d: the hand-over did not complete within two minutes\n", run);
      return 1;
    }
    std::fprintf(stderr,
                 "run %d: hand-over to GetConfig %.1f ms (new program %.1f, hand-over %.1f, "
                 "restart %.1f), plain start %.1f ms\n",
                 run, times->total, times->newStart, times->handOver, times->restart,
                 times->plainStart);
    total.push_back(times->total);
    newStart.push_back(times->newStart);
    handOver.push_back(times->handOver);
    restart.push_back(times->restart);
    plainStart.push_back(times->plainStart);
  }

  const double reference = bench::Median(plainStart);
  std::printf("Launcher self-update under Xvfb, %d runs:\n", runs);
  PrintFigure("plain start to GetConfig (reference)", plainStart, reference);
  PrintFigure("\"Launching new launcher\" to restarted GetConfig", total, reference);
  PrintFigure("  of which the new program's start", newStart, reference);
  PrintFigure("  of which the hand-over (500 ms wait included)", handOver, reference);
  PrintFigure("  of which the restarted launcher's start", restart, reference);
  return 0;
}
