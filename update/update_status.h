// The state of the update engine as the page sees it.
#pragma once

#include <cstdint>
#include <string>

enum class UpdateState : std::int32_t {
  Idle = 0,
  Checking = 1,
  Downloading = 2,
  Extracting = 3,
  Verifying = 4,
  Complete = 5,
  Error = 6,
  UpToDate = 7,
  LauncherUpdateReady = 8,
};

struct UpdateStatus {
  UpdateState state = UpdateState::Idle;
  std::int32_t progress = 0;  // percent
  std::string message = "Ready";
  std::string errorDetail;  // the last error; only a new error replaces it
  bool canStart = true;
  std::string currentVersion;
  std::string latestVersion;
  std::int32_t filesTotal = 0;
  std::int32_t filesComplete = 0;
  std::uint64_t bytesTotal = 0;
  std::uint64_t bytesComplete = 0;
};

// The state's name in the status report; a value outside the enumeration reads as "idle".
const char* StatusName(UpdateState state);

// Whether the page may enable its start button in `state`.
bool CanStartIn(UpdateState state);

// Whether a new worker may start from `state` (the previous one has finished).
bool AcceptsNewWorker(UpdateState state);

// The status report: one JSON object with the eleven members in their fixed order, no white
// space, texts JSON-escaped (bytes that are not UTF-8 become U+FFFD), as long as it needs to be.
std::string FormatStatusReport(const UpdateStatus& status);
