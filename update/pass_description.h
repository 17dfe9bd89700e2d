// What makes the game update and the repair pass differ. Both run one procedure over the game
// client: [version files], the manifest, a check pass over every entry, an install pass over the
// entries found missing or changed (each download replaces its file only when its hash is the
// manifest's), [version file]. This record holds their texts, progress formulas and the steps
// only one of them takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "update/update_status.h"

struct PassDescription {
  using Progress = std::int32_t (*)(std::uint64_t index, std::uint64_t count);

  const char* workerName;   // the function name its log lines carry
  const char* startedLine;  // its first log line
  const char* firstStatus;  // Checking, 0
  const char* cancelled;    // the message of a run stopped at a check point (Idle, 0)

  // Reads version.json and local_version.txt first (stopping when they agree), takes the
  // manifest address from version.json, and records the version when the client is current.
  bool readsVersionFiles;
  const char* manifestDownloadFailed;
  bool cancelCheckAfterManifest;
  // Logs the manifest's size and, per entry, "Missing: " or "Modified: " with the hashes.
  bool logsFindings;

  const char* checkStart;  // Verifying, 30 before the first entry; nullptr: no such status
  const char* checkPrefix;
  Progress checkProgress;  // after entry `index` of `count`

  UpdateState nothingToDoState;  // with progress 100
  const char* nothingToDo;
  // The log line that announces the install pass.
  std::string (*announceWork)(std::size_t files, std::uint64_t bytes);

  const char* installStart;  // Downloading, 50 before the first file; nullptr: no such status
  const char* installPrefix;
  Progress installProgress;  // before file `index` of `count`
  const char* installed;     // Complete, 100
};

// "Check for updates": UpdateManager::UpdateWorker.
extern const PassDescription kGameUpdatePass;
// "Fix Client": UpdateManager::VerifyWorker.
extern const PassDescription kRepairPass;
