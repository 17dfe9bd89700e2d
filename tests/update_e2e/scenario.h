// The stage for update scenarios: game clients written into folders, published with the patch
// publisher into the tree of a loopback server, and an UpdateManager installing into a game
// folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/loopback_server.h"
#include "tests/update_e2e/status_trace.h"
#include "tools/publish/publisher.h"
#include "update/update_manager.h"

namespace testing_support {

// What one worker run left behind.
struct RunRecord {
  std::vector<PageStatus> seen;          // what the poller saw, in order
  int unparsable = 0;                    // status reports that were not JSON
  std::vector<std::string> lines;        // every log line of the run
  std::vector<std::string> statusLines;  // the "<message> (<progress>%)" lines among them
  UpdateStatus end;                      // the status block afterwards
};

using FileSet = std::map<std::string, std::string>;  // relative path -> content

// What a scenario starts from: `published` published as `version` on the server (its manifest
// signed when `signManifest` is given), and the game folder holding `installed` with
// `installedVersion` recorded ("" records none).
struct Stage {
  FileSet published{};
  std::string version = "2.0";
  FileSet installed{};
  std::string installedVersion{};
  publish::DocumentSigner signManifest{};
};

class Scenario : public testing::Test {
 protected:
  // The server listens on `port`, or on a free one.
  explicit Scenario(int port = 0) : server(port) {}
  void SetUp() override { viewer.Start(); }

  void SetStage(const Stage& stage);
  // The demo's sample client: version 1 installed as "1.0", version 2 published as "1.1".
  void SetDemoStage();

  // The demo's sample client, version 1 or 2.
  std::filesystem::path WriteDemoClient(int version);
  // Publishes `client` as `version` into the served tree (replacing what was there), with a
  // manifest.json.sig when `signManifest` is given.
  void Publish(const std::filesystem::path& client, const std::string& version,
               const publish::DocumentSigner& signManifest = {});
  // Writes `files` into the game folder and records `version` as installed ("" records none).
  void Install(const FileSet& files, const std::string& version);

  UpdateManager& Manager();
  // Runs a worker to its end while polling its status. `during` runs on the test's thread right
  // after the start, to act while the worker works.
  using During = std::function<void(UpdateManager&)>;
  RunRecord RunUpdate(const During& during = {});
  RunRecord RunRepair(const During& during = {});

  // A published file ("manifest.json"), for scenarios that serve an altered one.
  std::string Published(const std::string& name) const;

  std::string Installed(const std::string& path) const { return game.Read(path); }
  std::filesystem::path GamePath(const std::string& path) const;
  // Every file below the game folder, relative, sorted.
  std::vector<std::string> GameFiles() const;

  TempDir work{"scenario work"};
  TempDir game{"scenario game ä"};
  LogCapture viewer;
  LoopbackServer server;
  // When set before the first Manager(), the engine uses this base URL instead of `server`'s
  // (a scenario serving the published tree, server.TreeFolder(), with a server of its own).
  std::string otherServerUrl;

 private:
  RunRecord Run(void (UpdateManager::*start)(), const During& during);
  std::unique_ptr<UpdateManager> manager_;
};

// Three files: one of 100,000 bytes, one nested in folders with a non-ASCII name and a space,
// and a small one, in the order the publisher lists them.
const FileSet& ThreeFiles();

// Backdates every file below `folder` by two days, so that a rewrite shows in its modification
// time; Backdated tells whether a file still carries such a time.
void Backdate(const std::filesystem::path& folder);
bool Backdated(const std::filesystem::path& file);

// The run's log and poll records agree with `expected` exactly (log) and in order (poll).
void ExpectSteps(const RunRecord& run, const std::vector<Step>& expected);

// Whether some log line of the run holds `text`.
bool Logged(const RunRecord& run, const std::string& text);

}  // namespace testing_support
