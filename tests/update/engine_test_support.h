// Helpers for tests that drive an UpdateManager: waiting for its worker, reading its status, and
// the status lines it logged.
#pragma once

#include <string>
#include <vector>

#include "tests/support/log_capture.h"
#include "update/update_manager.h"

namespace testing_support {

// Waits until the running worker (if any) has returned.
void FinishWorker(UpdateManager& manager);

// A copy of the status block, taken under its lock.
UpdateStatus StatusOf(UpdateManager& manager);

// Every line the viewer received until now (earlier calls' lines included), as text without
// the trailing CR LF and NUL.
std::vector<std::string> LoggedLines(LogCapture& viewer);

// The messages of the "UpdateManager: <message> (<progress>%)" lines, e.g. "Checking: a (36%)".
std::vector<std::string> StatusLines(const std::vector<std::string>& lines);

// Whether one of `lines` holds `text`.
bool AnyLineHas(const std::vector<std::string>& lines, const std::string& text);

// The manifest's hash text of `content`.
std::string HashOf(const std::string& content);

struct PublishedFile {
  std::string path;
  std::string content;
};

// A manifest of version 2.0 listing `files` with their hashes and sizes.
std::string ManifestFor(const std::vector<PublishedFile>& files);

}  // namespace testing_support
