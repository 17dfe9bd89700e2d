// "Fix Client" through the page's bridge functions, in a program with the patch server's address
// compiled in, repairing the folder it runs from.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <sstream>

#include "tests/update_e2e/scenario.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;

struct ProbeRun {
  int exitCode = -1;
  std::vector<nlohmann::json> reports;
};

// Runs the probe copied into the game folder and parses what it printed. The leak check at its
// exit is off: it sometimes meets OpenSSL's per-thread state, still held while the process
// ends, which says nothing about the pass.
ProbeRun RunProbe(const fs::path& probe) {
  ProbeRun run;
  FILE* output = popen(("ASAN_OPTIONS=detect_leaks=0 '" + probe.string() + "'").c_str(), "r");
  if (!output) return run;
  std::string text;
  char buffer[4096];
  while (std::fgets(buffer, sizeof(buffer), output))
    text += buffer;
  const int status = pclose(output);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    run.reports.push_back(nlohmann::json::parse(line, nullptr, false));
  return run;
}

// The probe has the address of a server on VELMORA_PROBE_PORT compiled in.
class FixClientBridge : public Scenario {
 protected:
  FixClientBridge() : Scenario(VELMORA_PROBE_PORT) {}
};

TEST_F(FixClientBridge, RepairsTheFolderOfTheProgram) {
  SetStage({.published = ThreeFiles(), .installed = ThreeFiles(), .installedVersion = "2.0"});
  game.Write("readme.txt", "damaged");
  const fs::path probe = game.path() / "fix_client_probe";
  fs::copy_file(VELMORA_FIX_CLIENT_PROBE, probe);

  const ProbeRun run = RunProbe(probe);
  ASSERT_EQ(run.exitCode, 0);
  ASSERT_GE(run.reports.size(), 2u);
  for (const auto& report : run.reports)
    ASSERT_FALSE(report.is_discarded());
  const nlohmann::json& last = run.reports.back();
  EXPECT_EQ(last["state"], "complete");
  EXPECT_EQ(last["message"], "All files fixed successfully!");
  EXPECT_EQ(last["canStart"], true);
  EXPECT_EQ(last["filesTotal"], 1);
  EXPECT_EQ(last["filesComplete"], 1);
  EXPECT_EQ(Installed("readme.txt"), ThreeFiles().at("readme.txt"));
  EXPECT_EQ(server.Requests("files/readme.txt"), 1);
  EXPECT_EQ(server.Requests("version.json"), 0);
}

}  // namespace
}  // namespace testing_support
