#include "update/update_status.h"

#include <nlohmann/json.hpp>

const char* StatusName(UpdateState state) {
  switch (state) {
    case UpdateState::Idle:
      return "idle";
    case UpdateState::Checking:
      return "checking";
    case UpdateState::Downloading:
      return "downloading";
    case UpdateState::Extracting:
      return "extracting";
    case UpdateState::Verifying:
      return "verifying";
    case UpdateState::Complete:
      return "complete";
    case UpdateState::Error:
      return "error";
    case UpdateState::UpToDate:
      return "uptodate";
    case UpdateState::LauncherUpdateReady:
      return "launcher_update_ready";
  }
  return "idle";
}

bool CanStartIn(UpdateState state) {
  return state == UpdateState::Idle || state == UpdateState::Complete ||
         state == UpdateState::UpToDate;
}

bool AcceptsNewWorker(UpdateState state) {
  return state == UpdateState::Idle || state == UpdateState::Complete ||
         state == UpdateState::Error || state == UpdateState::UpToDate;
}

std::string FormatStatusReport(const UpdateStatus& status) {
  // ordered_json keeps the members in insertion order; dump() writes no white space.
  nlohmann::ordered_json report;
  report["state"] = StatusName(status.state);
  report["progress"] = status.progress;
  report["message"] = status.message;
  report["canStart"] = status.canStart;
  report["currentVersion"] = status.currentVersion;
  report["latestVersion"] = status.latestVersion;
  report["filesTotal"] = status.filesTotal;
  report["filesComplete"] = status.filesComplete;
  report["bytesTotal"] = status.bytesTotal;
  report["bytesComplete"] = status.bytesComplete;
  report["errorDetail"] = status.errorDetail;
  return report.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
