#include "tests/update_e2e/scenario.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "tests/update/engine_test_support.h"
#include "tools/sampleclient/sample_client.h"

namespace testing_support {

namespace fs = std::filesystem;

void Scenario::SetStage(const Stage& stage) {
  const std::string client = "published " + stage.version;
  fs::create_directories(work.path() / fs::u8path(client));
  for (const auto& [path, content] : stage.published)
    work.Write(client + "/" + path, content);
  Publish(work.path() / fs::u8path(client), stage.version, stage.signManifest);
  Install(stage.installed, stage.installedVersion);
}

void Scenario::SetDemoStage() {
  sample_client::WriteSampleClient(game.path(), sample_client::DemoClientFiles(1));
  game.Write("local_version.txt", "1.0");
  Publish(WriteDemoClient(2), "1.1");
}

fs::path Scenario::WriteDemoClient(int version) {
  const fs::path folder = work.path() / ("demo v" + std::to_string(version));
  sample_client::WriteSampleClient(folder, sample_client::DemoClientFiles(version));
  return folder;
}

void Scenario::Publish(const fs::path& client, const std::string& version,
                       const publish::DocumentSigner& signManifest) {
  const publish::PublishResult result =
      publish::Publish({client, version, server.TreeFolder(), true, signManifest});
  ASSERT_EQ(result.status, publish::PublishStatus::Published) << result.error;
}

void Scenario::Install(const FileSet& files, const std::string& version) {
  for (const auto& [path, content] : files)
    game.Write(path, content);
  if (!version.empty()) game.Write("local_version.txt", version);
}

std::string Scenario::Published(const std::string& name) const {
  std::ifstream in(server.TreeFolder() / fs::u8path(name), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

fs::path Scenario::GamePath(const std::string& path) const {
  return game.path() / fs::u8path(path);
}

std::vector<std::string> Scenario::GameFiles() const {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(game.path())) {
    if (entry.is_directory()) continue;
    const std::u8string relative = entry.path().lexically_relative(game.path()).generic_u8string();
    files.emplace_back(relative.begin(), relative.end());
  }
  std::sort(files.begin(), files.end());
  return files;
}

UpdateManager& Scenario::Manager() {
  if (!manager_) {
    const std::string baseUrl = otherServerUrl.empty() ? server.TreeUrl() : otherServerUrl;
    manager_ = std::make_unique<UpdateManager>(baseUrl, game.utf8());
  }
  return *manager_;
}

RunRecord Scenario::RunUpdate(const During& during) {
  return Run(&UpdateManager::CheckUpdate, during);
}

RunRecord Scenario::RunRepair(const During& during) {
  return Run(&UpdateManager::FixClient, during);
}

RunRecord Scenario::Run(void (UpdateManager::*start)(), const During& during) {
  UpdateManager& manager = Manager();
  const std::size_t linesBefore = LoggedLines(viewer).size();
  RunRecord run;
  {
    StatusPoller poller(manager);
    (manager.*start)();
    if (during) during(manager);
    FinishWorker(manager);
    poller.Stop();
    run.seen = poller.Seen();
    run.unparsable = poller.Unparsable();
  }
  const std::vector<std::string> lines = LoggedLines(viewer);
  run.lines.assign(lines.begin() + static_cast<std::ptrdiff_t>(linesBefore), lines.end());
  run.statusLines = StatusLines(run.lines);
  run.end = StatusOf(manager);
  return run;
}

const FileSet& ThreeFiles() {
  static const FileSet files{
      {"bin/core.bin", std::string(100000, 'c')},
      {"data/maps/Fjällheim deep/cave 1.map", "a cave"},
      {"readme.txt", "read me\n"},
  };
  return files;
}

void Backdate(const fs::path& folder) {
  const auto past = fs::file_time_type::clock::now() - std::chrono::hours(48);
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) fs::last_write_time(entry.path(), past);
  }
}

bool Backdated(const fs::path& file) {
  return fs::last_write_time(file) < fs::file_time_type::clock::now() - std::chrono::hours(24);
}

void ExpectSteps(const RunRecord& run, const std::vector<Step>& expected) {
  EXPECT_EQ(run.statusLines, StatusLinesOf(expected));
  EXPECT_TRUE(SeenInOrder(run.seen, expected));
  EXPECT_EQ(run.unparsable, 0);
}

bool Logged(const RunRecord& run, const std::string& text) {
  return AnyLineHas(run.lines, text);
}

}  // namespace testing_support
