// The patch server's replies as a client sees them on the wire: each misbehaviour sends exactly
// the bytes it describes, plain replies keep their connection and honour ranges, the request log
// names path, status and connection, and the server's end lets go of held connections.
#include <arpa/inet.h>
#include <httplib.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/update/loopback_server.h"
#include "tools/patchserver/server.h"

namespace {

using namespace patchserver;
using namespace std::chrono_literals;
using testing_support::Pattern;

struct Wire {
  std::string head;  // through the blank line, or all that came when there was none
  std::string body;
  bool closed = false;  // the server closed the connection; otherwise it fell silent
};

// Sends a GET for `path`; reads until the server closes, falls silent for `quiet`, or 2 s more.
Wire Fetch(int port, const std::string& path, std::chrono::milliseconds quiet = 300ms) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{
      AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) return {};
  const std::string request = "GET /" + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  EXPECT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(request.size()));
  Wire wire;
  std::string all;
  pollfd entry{fd, POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + quiet + 2s;
  while (std::chrono::steady_clock::now() < deadline &&
         poll(&entry, 1, static_cast<int>(quiet.count())) > 0) {
    char buffer[65536];
    const ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
    if ((wire.closed = got <= 0)) break;
    all.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  const std::size_t end = all.find("\r\n\r\n");
  wire.head = all.substr(0, end == std::string::npos ? end : end + 4);
  wire.body = end == std::string::npos ? "" : all.substr(end + 4);
  return wire;
}

TEST(PatchServerReplies, EachMisbehaviourSendsWhatItDescribes) {
  const struct {
    const char* name;
    Reply reply;
    const char* status;  // "" when no status line may come
    const char* head;    // a text of the head
    std::string body;
    bool closed;
  } cases[] = {
      {"plain", TextReply("hello"), "200", "Content-Length: 5\r\n", "hello", true},
      {"a longer length announced",
       {.body = TextBody("four"), .contentLength = 10},
       "200",
       "Content-Length: 10\r\nConnection: close",
       "four",
       true},
      {"no length",
       {.body = TextBody("until the end"), .withoutLength = true},
       "200",
       "Content-Type: application/octet-stream\r\nConnection: close",
       "until the end",
       true},
      {"closed part way",
       {.body = PatternBody(100000), .closeAfter = 70000},
       "200",
       "Content-Length: 100000\r\n",
       Pattern(70000),
       true},
      {"silent part way",
       {.body = PatternBody(1000), .silentAfter = 300},
       "200",
       "Content-Length: 1000\r\n",
       Pattern(300),
       false},
      {"paced", {.body = PatternBody(30), .piece = 7, .pause = 20ms}, "200", "", Pattern(30), true},
      {"redirect", Redirect("/elsewhere"), "302", "Location: /elsewhere\r\n", "", true},
      {"error status", {.status = 503, .body = TextBody("busy")}, "503", "", "busy", true},
      {"dripping headers", {.dripHeaders = 20ms}, "200", "\r\nX-Drip: xxx", "", false},
      {"silent", {.silent = true}, "", "", "", false},
  };
  Server server(ServerOptions{});
  for (const auto& item : cases) {
    SCOPED_TRACE(item.name);
    const std::string path = "case/" + std::to_string(&item - cases);
    server.Answer(path, item.reply);
    const Wire wire = Fetch(server.port(), path);
    EXPECT_EQ(wire.head.substr(0, 12), std::string(*item.status ? "HTTP/1.1 " : "") + item.status);
    EXPECT_NE(wire.head.find(item.head), std::string::npos) << wire.head;
    EXPECT_EQ(wire.body, item.body);
    EXPECT_EQ(wire.closed, item.closed);
  }
}

TEST(PatchServerReplies, PlainRepliesKeepTheConnectionHonourRangesAndAreLogged) {
  testing_support::TempDir root{"velmora served root"};
  root.Write("data/a b.pak", Pattern(600000));
  std::atomic<int> logged{0};
  Server server({.root = root.path(), .log = [&](const ServedRequest&) { ++logged; }});

  httplib::Client client("127.0.0.1", server.port());
  client.set_keep_alive(true);
  auto whole = client.Get("/patch/data/a%20b.pak");
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->body, Pattern(600000));
  auto part = client.Get("/patch/data/a%20b.pak", {{"Range", "bytes=300000-300009"}});
  ASSERT_TRUE(part);
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body, Pattern(300010).substr(300000));
  auto past = client.Get("/patch/data/a%20b.pak", {{"Range", "bytes=600000-"}});
  ASSERT_TRUE(past);
  EXPECT_EQ(past->status, 416);
  EXPECT_EQ(past->get_header_value("Content-Range"), "bytes */600000");
  server.Answer("patch/whole.pak", {.body = PatternBody(1000), .ignoresRange = true});
  auto ignored = client.Get("/patch/whole.pak", {{"Range", "bytes=10-"}});
  ASSERT_TRUE(ignored);
  EXPECT_EQ(ignored->status, 200);
  EXPECT_EQ(ignored->body, Pattern(1000));
  auto missing = client.Get("/patch/../velmora%20served%20root/data/a%20b.pak");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
  httplib::Client other("127.0.0.1", server.port());
  ASSERT_TRUE(other.Get("/patch/none"));

  const std::vector<ServedRequest> requests = server.Requests();
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_EQ(requests[0].path, "patch/data/a b.pak");
  EXPECT_EQ(requests[0].target, "/patch/data/a%20b.pak");
  EXPECT_EQ(requests[4].status, 404);
  EXPECT_EQ(requests[0].connection, requests[2].connection) << "kept alive";
  EXPECT_NE(requests[3].connection, requests[4].connection) << "closed after a whole body";
  EXPECT_NE(requests[4].connection, requests[5].connection);
  EXPECT_EQ(server.RequestsFor("patch/data/a b.pak"), 3);
  EXPECT_EQ(logged, 6);
}

TEST(PatchServerReplies, ItsEndLetsGoOfHeldAndSilentRequests) {
  auto server = std::make_unique<Server>(ServerOptions{});
  server->Answer("silent", {.silent = true});
  server->Hold("held");
  const int port = server->port();
  Wire silent;
  Wire held;
  std::thread silentClient([&] { silent = Fetch(port, "silent", 10s); });
  std::thread heldClient([&] { held = Fetch(port, "held", 10s); });
  server->WaitUntilHeld("held");
  std::this_thread::sleep_for(100ms);  // the silent request has arrived too
  const auto start = std::chrono::steady_clock::now();
  server.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  silentClient.join();
  heldClient.join();
  EXPECT_TRUE(silent.closed);
  EXPECT_TRUE(held.closed);
}

}  // namespace
