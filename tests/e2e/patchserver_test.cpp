// The demo patch server: what it serves from its folder, what it refuses, and where it listens.
#include <httplib.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "tests/launcher/support/child_process.h"
#include "tests/support/temp_dir.h"
#include "tools/patchserver/patch_path.h"

namespace {

namespace fs = std::filesystem;
using patchserver::ResolveServedFile;
using testing_support::TempDir;
using namespace std::chrono_literals;

class ServedFolder : public testing::Test {
 protected:
  void SetUp() override {
    root_.Write("version.json", R"({"version":"2"})");
    root_.Write("files/data/big file.pak", std::string(300000, 'x'));
    outside_.Write("secret.txt", "private");
    fs::create_symlink(outside_.path() / "secret.txt", root_.path() / "files" / "leak.txt");
  }
  TempDir root_{"velmora served"};
  TempDir outside_{"velmora outside"};
};

TEST_F(ServedFolder, ResolvesFilesInsideTheFolderOnly) {
  EXPECT_EQ(ResolveServedFile(root_.path(), "version.json"),
            fs::canonical(root_.path() / "version.json"));
  EXPECT_EQ(ResolveServedFile(root_.path(), "files/data/big file.pak"),
            fs::canonical(root_.path() / "files/data/big file.pak"));
  const std::string outside = "../" + outside_.path().filename().string() + "/secret.txt";
  for (const std::string& refused : std::vector<std::string>{
           "", "files", "files/", "missing.json", "/etc/passwd", outside, "files/../version.json",
           "./version.json", "files//data/big file.pak", "files\\data\\big file.pak",
           "files/leak.txt", std::string("version.json\0x", 14)}) {
    EXPECT_EQ(ResolveServedFile(root_.path(), refused), std::nullopt) << refused;
  }
}

// Starts the server on a free port and returns it, once the server says it listens.
int StartServer(testing_support::ChildProcess& server) {
  for (int i = 0; i < 500; ++i) {
    const std::string output = server.Output();
    const std::size_t at = output.find("http://127.0.0.1:");
    if (at != std::string::npos && output.find("/patch/", at) != std::string::npos)
      return std::stoi(output.substr(at + 17));
    if (!server.Running()) break;
    std::this_thread::sleep_for(10ms);
  }
  return -1;
}

TEST_F(ServedFolder, ServerSendsWholeFilesRefusesTheRestAndListensOnLoopbackOnly) {
  testing_support::ChildProcess server(
      {VELMORA_PATCHSERVER, "--root", root_.utf8(), "--port", "0"});
  const int port = StartServer(server);
  ASSERT_GT(port, 0) << server.Output();

  httplib::Client client("127.0.0.1", port);
  auto reply = client.Get("/patch/version.json");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  EXPECT_EQ(reply->body, R"({"version":"2"})");
  EXPECT_EQ(reply->get_header_value("Content-Type"), "application/json");

  reply = client.Get("/patch/files/data/big%20file.pak");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  EXPECT_EQ(reply->body, std::string(300000, 'x'));
  EXPECT_EQ(reply->get_header_value("Content-Length"), "300000");

  for (const char* refused : {"/patch/missing.json", "/patch/files/", "/patch/files",
                              "/patch/%2e%2e/velmora%20outside/secret.txt", "/patch/files/leak.txt",
                              "/other/version.json"}) {
    reply = client.Get(refused);
    ASSERT_TRUE(reply) << refused;
    EXPECT_EQ(reply->status, 404) << refused;
  }

  reply = client.Get("/mini/");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  EXPECT_NE(reply->body.find("<title>Velmora news</title>"), std::string::npos);

  // The kernel's table of listening sockets: 0100007F is 127.0.0.1.
  std::ifstream table("/proc/net/tcp");
  std::stringstream text;
  text << table.rdbuf();
  char address[32];
  std::snprintf(address, sizeof(address), "0100007F:%04X 00000000:0000 0A", port);
  EXPECT_NE(text.str().find(address), std::string::npos);
  char anyAddress[32];
  std::snprintf(anyAddress, sizeof(anyAddress), "00000000:%04X 00000000:0000 0A", port);
  EXPECT_EQ(text.str().find(anyAddress), std::string::npos);

  EXPECT_NE(server.Output().find("patchserver: GET /patch/version.json 200"), std::string::npos);
  server.Stop();
  EXPECT_FALSE(server.Running());
}

TEST_F(ServedFolder, PortInUseIsReportedAndEndsTheServer) {
  testing_support::ChildProcess first({VELMORA_PATCHSERVER, "--root", root_.utf8(), "--port", "0"});
  const int port = StartServer(first);
  ASSERT_GT(port, 0) << first.Output();
  testing_support::ChildProcess second(
      {VELMORA_PATCHSERVER, "--root", root_.utf8(), "--port", std::to_string(port)});
  EXPECT_EQ(second.Wait(10s), 1);
  EXPECT_NE(second.Output().find("cannot listen on 127.0.0.1:" + std::to_string(port)),
            std::string::npos)
      << second.Output();
}

}  // namespace
