// The game update against published patch trees served on loopback, as the page would watch it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/update/engine_test_support.h"
#include "tests/update_e2e/scenario.h"
#include "tools/sampleclient/sample_client.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;

const FileSet& kThreeFiles = ThreeFiles();

using UpdateScenario = Scenario;

// A run over ThreeFiles() with something to download, up to the start of the downloads, followed
// by `rest`.
std::vector<Step> ThreeCheckedThen(std::vector<Step> rest) {
  std::vector<Step> steps{
      {"checking", 0, "Checking for updates..."},
      {"checking", 20, "Downloading file list..."},
      {"verifying", 30, "Checking local files..."},
      {"verifying", 36, "Checking: bin/core.bin"},
      {"verifying", 43, "Checking: data/maps/Fjällheim deep/cave 1.map"},
      {"verifying", 50, "Checking: readme.txt"},
      {"downloading", 50, "Downloading updates..."},
  };
  steps.insert(steps.end(), rest.begin(), rest.end());
  return steps;
}

TEST_F(UpdateScenario, FreshInstallIntoAnEmptyFolder) {
  SetStage({.published = kThreeFiles});
  const RunRecord run = RunUpdate();

  ExpectSteps(run, {
                       {"checking", 0, "Checking for updates..."},
                       {"checking", 20, "Downloading file list..."},
                       {"verifying", 30, "Checking local files..."},
                       {"verifying", 36, "Checking: bin/core.bin"},
                       {"verifying", 43, "Checking: data/maps/Fjällheim deep/cave 1.map"},
                       {"verifying", 50, "Checking: readme.txt"},
                       {"downloading", 50, "Downloading updates..."},
                       {"downloading", 50, "Downloading: bin/core.bin"},
                       {"downloading", 65, "Downloading: data/maps/Fjällheim deep/cave 1.map"},
                       {"downloading", 80, "Downloading: readme.txt"},
                       {"complete", 100, "Update complete! Ready to play"},
                   });
  for (const auto& [path, content] : kThreeFiles)
    EXPECT_EQ(Installed(path), content) << path;
  EXPECT_EQ(Installed("local_version.txt"), "2.0");
  // Nothing else: no temporary download left behind.
  EXPECT_EQ(GameFiles(),
            (std::vector<std::string>{"bin/core.bin", "data/maps/Fjällheim deep/cave 1.map",
                                      "local_version.txt", "readme.txt"}));
  EXPECT_TRUE(Logged(run, "]: Missing: data/maps/Fjällheim deep/cave 1.map"));
  EXPECT_EQ(run.end.currentVersion, "Unknown");
  EXPECT_EQ(run.end.latestVersion, "2.0");
  EXPECT_EQ(run.end.filesTotal, 3);
  EXPECT_EQ(run.end.filesComplete, 3);
  EXPECT_EQ(run.end.bytesTotal, 100014u);
  EXPECT_EQ(run.end.bytesComplete, 100014u);
  EXPECT_TRUE(run.end.canStart);
}

TEST_F(UpdateScenario, AlreadyUpToDateLooksAtNothingElse) {
  SetStage({.published = kThreeFiles, .installed = kThreeFiles, .installedVersion = "2.0"});
  fs::remove(GamePath("readme.txt"));
  server.Answer("manifest.json",
                patchserver::NotFound());  // fetching it would end the run in an error

  const RunRecord run = RunUpdate();
  ExpectSteps(run, {
                       {"checking", 0, "Checking for updates..."},
                       {"uptodate", 100, "Game is up to date"},
                   });
  EXPECT_FALSE(fs::exists(GamePath("readme.txt")));  // repair is the other worker's job
  EXPECT_EQ(run.end.currentVersion, "2.0");
}

TEST_F(UpdateScenario, PartialUpdateFetchesOnlyWhatChanged) {
  SetDemoStage();
  Backdate(game.path());
  const RunRecord run = RunUpdate();

  ASSERT_EQ(run.end.state, UpdateState::Complete) << run.end.errorDetail;
  const auto first = sample_client::DemoClientFiles(1);
  const auto second = sample_client::DemoClientFiles(2);
  int changed = 0;
  for (const auto& file : second) {
    EXPECT_EQ(Installed(file.path), sample_client::FileContent(file)) << file.path;
    const bool same = std::any_of(first.begin(), first.end(), [&](const auto& old) {
      return old.path == file.path && old.seed == file.seed && old.size == file.size;
    });
    EXPECT_EQ(Backdated(GamePath(file.path)), same) << file.path;
    EXPECT_EQ(Logged(run, "]: UpdateManager: Downloading: " + file.path + " ("), !same)
        << file.path;
    changed += same ? 0 : 1;
  }
  // Files the new version dropped stay: the update never deletes.
  EXPECT_TRUE(fs::exists(GamePath("data/textures/legacy_sky.pak")));
  EXPECT_EQ(run.end.filesTotal, changed);
  EXPECT_EQ(run.end.filesComplete, changed);
  EXPECT_EQ(run.end.currentVersion, "1.0");
  EXPECT_EQ(Installed("local_version.txt"), "1.1");
  EXPECT_EQ(run.unparsable, 0);
  // The page's bar never moves backwards.
  for (std::size_t i = 1; i < run.seen.size(); ++i)
    EXPECT_GE(run.seen[i].progress, run.seen[i - 1].progress) << run.seen[i].message;
}

TEST_F(UpdateScenario, ALocallyModifiedFileIsTheOnlyOneFetched) {
  SetStage({.published = kThreeFiles, .installed = kThreeFiles, .installedVersion = "1.9"});
  game.Write("data/maps/Fjällheim deep/cave 1.map", "a cave, edited");
  Backdate(game.path());
  const RunRecord run = RunUpdate();

  ExpectSteps(run, ThreeCheckedThen({
                       {"downloading", 50, "Downloading: data/maps/Fjällheim deep/cave 1.map"},
                       {"complete", 100, "Update complete! Ready to play"},
                   }));
  // Hash texts as `xxhsum -H3` prints them for "a cave, edited" and "a cave".
  EXPECT_TRUE(Logged(run,
                     "]: Modified: data/maps/Fjällheim deep/cave 1.map (local=ae0aeb8a9c65ce0a, "
                     "server=f709c5eabf626195)"));
  EXPECT_EQ(Installed("data/maps/Fjällheim deep/cave 1.map"), "a cave");
  EXPECT_TRUE(Backdated(GamePath("bin/core.bin")));
  EXPECT_TRUE(Backdated(GamePath("readme.txt")));
  EXPECT_EQ(run.end.filesTotal, 1);
}

// The manifest as published, with the hash of `path` replaced by `hash`.
std::string WithHash(const std::string& manifest, const std::string& path,
                     const std::string& hash) {
  nlohmann::ordered_json document = nlohmann::ordered_json::parse(manifest);
  for (auto& entry : document["files"]) {
    if (entry["path"] == path) entry["hash"] = hash;
  }
  return document.dump();
}

std::string Upper(std::string text) {
  for (auto& c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

TEST_F(UpdateScenario, AnUpperCaseHashNeverMatchesAndTheOldFileStays) {
  SetStage({.published = kThreeFiles,
            .installed = {{"readme.txt", "old notes\n"}},
            .installedVersion = "1.0"});
  const std::string hash = HashOf(kThreeFiles.at("readme.txt"));
  server.Answer("manifest.json", patchserver::TextReply(WithHash(Published("manifest.json"),
                                                                 "readme.txt", Upper(hash))));
  const RunRecord run = RunUpdate();

  EXPECT_EQ(run.end.state, UpdateState::Error);
  EXPECT_EQ(run.end.errorDetail, "Downloaded file corrupted: readme.txt");
  ExpectSteps(run, ThreeCheckedThen({
                       {"downloading", 50, "Downloading: bin/core.bin"},
                       {"downloading", 65, "Downloading: data/maps/Fjällheim deep/cave 1.map"},
                       {"downloading", 80, "Downloading: readme.txt"},
                       {"error", 0, "Update failed"},
                   }));
  EXPECT_EQ(Installed("readme.txt"), "old notes\n");
  EXPECT_EQ(Installed("bin/core.bin"), kThreeFiles.at("bin/core.bin"));  // done before it
  EXPECT_EQ(Installed("local_version.txt"), "1.0");
}

TEST_F(UpdateScenario, AFileAnsweredNotFoundStopsTheRunAndTheNextRunResumes) {
  SetStage({.published = kThreeFiles,
            .installed = {{"data/maps/Fjällheim deep/cave 1.map", "old cave"}},
            .installedVersion = "1.0"});
  server.Answer("files/data/maps/Fjällheim deep/cave 1.map", patchserver::NotFound());
  const RunRecord failed = RunUpdate();

  ExpectSteps(failed, ThreeCheckedThen({
                          {"downloading", 50, "Downloading: bin/core.bin"},
                          {"downloading", 65, "Downloading: data/maps/Fjällheim deep/cave 1.map"},
                          {"error", 0, "Update failed"},
                      }));
  EXPECT_EQ(failed.end.errorDetail, "Failed to download: data/maps/Fjällheim deep/cave 1.map");
  EXPECT_EQ(Installed("data/maps/Fjällheim deep/cave 1.map"), "old cave");
  EXPECT_FALSE(fs::exists(GamePath("readme.txt")));  // never tried
  EXPECT_EQ(Installed("local_version.txt"), "1.0");
  EXPECT_EQ(failed.end.filesTotal, 3);
  EXPECT_EQ(failed.end.filesComplete, 1);
  EXPECT_EQ(GameFiles().size(), 3u);  // core.bin, the old cave and local_version.txt

  Backdate(game.path());
  server.Answer("files/data/maps/Fjällheim deep/cave 1.map", patchserver::TextReply("a cave"));
  const RunRecord resumed = RunUpdate();
  ASSERT_EQ(resumed.end.state, UpdateState::Complete) << resumed.end.errorDetail;
  EXPECT_TRUE(Backdated(GamePath("bin/core.bin")));  // replaced last time, not fetched again
  EXPECT_EQ(resumed.end.filesTotal, 2);
  EXPECT_EQ(Installed("local_version.txt"), "2.0");
}

TEST_F(UpdateScenario, WrongContentIsCaughtAndTheInstalledFileStays) {
  SetStage({.published = kThreeFiles,
            .installed = {{"bin/core.bin", "old core"}},
            .installedVersion = "1.0"});
  server.Answer("files/bin/core.bin",
                patchserver::TextReply("<html><body>Service unavailable</body></html>"));
  const RunRecord run = RunUpdate();

  EXPECT_EQ(run.end.errorDetail, "Downloaded file corrupted: bin/core.bin");
  ExpectSteps(run, ThreeCheckedThen({
                       {"downloading", 50, "Downloading: bin/core.bin"},
                       {"error", 0, "Update failed"},
                   }));
  EXPECT_EQ(Installed("bin/core.bin"), "old core");
  EXPECT_EQ(GameFiles(), (std::vector<std::string>{"bin/core.bin", "local_version.txt"}));
}

TEST_F(UpdateScenario, AFolderWhereAFileBelongsFailsThatFile) {
  SetStage({.published = kThreeFiles});
  game.Write("readme.txt/note", "a folder stands where the file goes");
  const RunRecord run = RunUpdate();

  EXPECT_TRUE(Logged(run, "]: Modified: readme.txt (local=, server="));
  EXPECT_EQ(run.end.errorDetail, "Failed to download: readme.txt");
  EXPECT_EQ(Installed("readme.txt/note"), "a folder stands where the file goes");
  EXPECT_EQ(run.end.filesComplete, 2);
}

TEST_F(UpdateScenario, AnEmptyManifestRecordsTheVersion) {
  SetStage({.version = "3.0"});
  const RunRecord run = RunUpdate();

  ExpectSteps(run, {
                       {"checking", 0, "Checking for updates..."},
                       {"checking", 20, "Downloading file list..."},
                       {"verifying", 30, "Checking local files..."},
                       {"uptodate", 100, "Game is up to date"},
                   });
  EXPECT_EQ(Installed("local_version.txt"), "3.0");
}

}  // namespace
}  // namespace testing_support
