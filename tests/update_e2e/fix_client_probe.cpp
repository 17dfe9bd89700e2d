// A stand-in for the page, calling the bridge functions as the page would: asks for "Fix Client"
// through API_FixClient and polls API_GetUpdateStatus every 5 ms until the pass ends, printing
// every report that differs from the one before, one a line. Built with a compiled-in loopback
// patch URL; it repairs the folder it was copied into. Exit code 0 when the pass ended, 1 when it
// did not within a minute, 2 when the request was not answered "true".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "update/update_api.h"

namespace {

bool PassEnded(const std::string& report) {
  const auto status = nlohmann::json::parse(report, nullptr, false);
  if (status.is_discarded()) return false;
  const std::string state = status.value("state", "");
  return state == "complete" || state == "error" ||
         (state == "idle" && status.value("message", "") != "Ready");
}

// Ends the process as the launcher does (ExitProcess, _exit): without exit-time destructors, which
// would tear down the TLS library while the engine's worker may still be closing its connection.
[[noreturn]] void Exit(int code) {
  std::fflush(stdout);
  std::_Exit(code);
}

}  // namespace

int main() {
  if (API_FixClient("[]") != "true") Exit(2);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  std::string previous;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string report = API_GetUpdateStatus("[]");
    if (report != previous) std::printf("%s\n", report.c_str());
    previous = report;
    if (PassEnded(report)) Exit(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Exit(1);
}
