// A patch server that lies, breaks off, drips, redirects anywhere and sends hostile manifests,
// and a game folder on a full or read-only disk, against the real engine on loopback. In every
// case the pass ends soon with a clear error (or installs what the manifest vouches for), the
// installed file is the old one or the new one, never a mix, no temporary file stays but the
// beginning of a file whose transfer broke off (for the next pass to continue) and nothing is
// written outside the game folder.
//
// Covered by neighbours and not repeated here: an endless body and a body longer than its
// manifest size (tests/update/server_content_test.cpp), names that differ only in case
// (ditto), 100,000-deep arrays and endless documents (tests/update/bounded_documents_test.cpp),
// redirect chains and headers that never finish (tests/update/transfer_limits_test.cpp), links
// and pipes planted in the game folder (planted_files_posix_test.cpp), a settings save killed
// with SIGKILL (tests/settings/settings_store_posix_test.cpp).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/http_client.h"
#include "tests/launcher/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/engine_test_support.h"
#include "tools/patchserver/server.h"
#include "update/update_manager.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using patchserver::Redirect;
using patchserver::Reply;
using patchserver::TextBody;
using Server = patchserver::Server;

// Answers to compose rows from.
// 200 with `body` and its true length.
Reply Ok(std::string body, std::string contentType = "application/octet-stream") {
  return {.contentType = std::move(contentType), .body = TextBody(std::move(body))};
}
// 200 announcing `announced` bytes, then `body` (shorter) and the connection closes.
Reply ShortBody(std::size_t announced, std::string body) {
  return {.body = TextBody(std::move(body)), .contentLength = announced};
}
// 200 without a length: `body`, then the connection closes, as if it broke in the middle.
Reply ClosedAfter(std::string body) {
  return {.body = TextBody(std::move(body)), .withoutLength = true};
}
// 200 chunked: one chunk announced larger than what follows, then the connection closes.
Reply BrokenChunk(const std::string& body) {
  char size[32];
  std::snprintf(size, sizeof size, "%zx\r\n", body.size() * 2);
  return {.headers = {{"Transfer-Encoding", "chunked"}},
          .body = TextBody(size + body),
          .withoutLength = true};
}
// 200 without a length, then 'e' without end until the peer has gone.
Reply Endless() {
  return {.body = patchserver::RepeatedBody("e", patchserver::kEndless), .withoutLength = true};
}
// 200 without a length, then one byte a second.
Reply Drip() {
  return {.body = patchserver::RepeatedBody("x", patchserver::kEndless),
          .withoutLength = true,
          .piece = 1,
          .pause = 1s};
}
// 200 announcing `total` bytes; sends `first` bytes of 'x' and keeps the connection open, silent.
Reply HalfThenHold(std::size_t total, std::size_t first) {
  return {.body = TextBody(std::string(total, 'x')), .silentAfter = first};
}

// Walks below a folder through descriptors, so paths longer than the system's path limit (an
// entry of 5,000 bytes in short folders) can be listed, read and removed like any other.
// `visit` gets each item's path relative to `folder` and whether it is a folder, after that
// folder's content.
void Walk(int folder, const std::string& prefix,
          const std::function<void(int parent, const std::string& name, const std::string& path,
                                   bool isFolder)>& visit) {
  DIR* listing = fdopendir(dup(folder));
  if (listing == nullptr) return;
  std::vector<std::pair<std::string, bool>> items;
  while (const dirent* item = readdir(listing)) {
    const std::string name = item->d_name;
    if (name != "." && name != "..") items.emplace_back(name, item->d_type == DT_DIR);
  }
  closedir(listing);
  for (const auto& [name, isFolder] : items) {
    if (isFolder) {
      const int inner = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
      if (inner >= 0) {
        Walk(inner, prefix + name + "/", visit);
        close(inner);
      }
    }
    visit(folder, name, prefix + name, isFolder);
  }
}

void WalkBelow(
    const fs::path& folder,
    const std::function<void(int, const std::string&, const std::string&, bool)>& visit) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  Walk(fd, "", visit);
  close(fd);
}

void RemoveBelow(const fs::path& folder) {
  WalkBelow(folder, [](int parent, const std::string& name, const std::string&, bool isFolder) {
    unlinkat(parent, name.c_str(), isFolder ? AT_REMOVEDIR : 0);
  });
}

// The content of `relative` below `folder`, one component at a time.
std::string ReadBelow(const fs::path& folder, const std::string& relative) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  std::size_t start = 0;
  for (std::size_t slash; fd >= 0 && (slash = relative.find('/', start)) != std::string::npos;
       start = slash + 1) {
    const int inner = openat(fd, relative.substr(start, slash - start).c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    close(fd);
    fd = inner;
  }
  if (fd < 0) return "(missing)";
  const int file = openat(fd, relative.substr(start).c_str(), O_RDONLY | O_NOFOLLOW);
  close(fd);
  if (file < 0) return "(missing)";
  std::string content;
  char buffer[4096];
  for (ssize_t n; (n = read(file, buffer, sizeof buffer)) > 0;)
    content.append(buffer, static_cast<std::size_t>(n));
  close(file);
  return content;
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

const std::string kOld = "the installed file";
const std::string kNew(64 * 1024, 'n');
const char kHtml[] = "<html><body><h1>Welcome</h1>Our site is under maintenance.</body></html>";

class HostileServerSuite : public testing::Test {
 protected:
  void SetUp() override {
    viewer.Start();
    fs::create_directories(game);
  }
  // The folder may hold paths too long for the temporary folder's own clean-up.
  void TearDown() override { RemoveBelow(game); }

  // The old client installed, version 2.0 published with a.pak as kNew, served rightly unless
  // a row answers otherwise.
  void Stage() {
    RemoveBelow(game);
    std::ofstream(game / "a.pak", std::ios::binary) << kOld;
    std::ofstream(game / "local_version.txt", std::ios::binary) << "1.0";
    server.Answer("patch/version.json", Ok(R"({"version":"2.0"})"));
    server.Answer("patch/manifest.json", Ok(ManifestFor({{"a.pak", kNew}})));
    server.Answer("patch/files/a.pak", Ok(kNew));
  }

  // Runs the pass that `start` begins to its end; `during` acts while it runs.
  UpdateStatus Run(void (UpdateManager::*start)(),
                   const std::function<void(UpdateManager&)>& during = {}) {
    UpdateManager manager(server.Url("patch/"), game.string());
    (manager.*start)();
    if (during) during(manager);
    FinishWorker(manager);
    return StatusOf(manager);
  }

  // Files below the test's folder that are no part of the game or that a pass left half done.
  std::vector<std::string> StrayFiles() const {
    std::vector<std::string> stray;
    WalkBelow(root.path(), [&](int, const std::string& name, const std::string& path, bool) {
      if (path.rfind("game", 0) != 0 || name.ends_with(".velmora-part")) stray.push_back(path);
    });
    return stray;
  }

  // The error lines logged after the first `count` lines, one a line.
  std::string ErrorLinesSince(std::size_t count) {
    const auto lines = LoggedLines(viewer);
    std::string errors;
    for (std::size_t i = count; i < lines.size(); ++i)
      if (lines[i].rfind("LAUNCHER|E|", 0) == 0) errors += lines[i] + "\n";
    return errors;
  }

  TempDir root{"hostile server"};
  fs::path game = root.path() / "game";
  Server server{patchserver::ServerOptions{}};
  Server mirror{patchserver::ServerOptions{}};  // another port
  LogCapture viewer;
};

std::string ManifestText(const std::string& pathJson, const std::string& content) {
  return R"({"files":[{"path":")" + pathJson + R"(","hash":")" + HashOf(content) + R"(","size":)" +
         std::to_string(content.size()) + "}]}";
}

struct Row {
  const char* name;
  // What the server does (and the game folder holds) beyond Stage().
  std::function<void(Server& server, Server& mirror)> arrange;
  // What a sound launcher does: the final error ("" for a finished pass), a text of a log line
  // that says why ("" when the error is all there is), and a.pak afterwards.
  const char* error;
  const char* logged;
  const std::string* installed;
  // Another entry the pass installs, when it has one.
  const PublishedFile* written = nullptr;
  // Whether the transfer broke off: what arrived of a.pak waits beside it for the next pass.
  bool keepsBeginning = false;
};

const std::string kDeepPath = [] {
  std::string path;
  while (path.size() < 5000)
    path += std::string(99, 'd') + "/";
  return path + "deep.pak";
}();
const PublishedFile kDeep{kDeepPath, "deep"};
const PublishedFile kDotted{"%2e%2e/%2E%2E/escaped.pak", "inside"};

const Row kRows[] = {
    {"a Content-Length larger than the body",
     [](Server& s, Server&) {
       s.Answer("patch/files/a.pak", ShortBody(kNew.size() + 4096, kNew.substr(0, 1000)));
     },
     "Failed to download: a.pak", "Transfer broke off for ", &kOld, nullptr, true},
    {"the connection closed mid-file, no length given",
     [](Server& s, Server&) {
       s.Answer("patch/files/a.pak", ClosedAfter(kNew.substr(0, kNew.size() / 2)));
     },
     "Downloaded file corrupted: a.pak", "", &kOld},
    {"the connection closed inside a chunk",
     [](Server& s, Server&) { s.Answer("patch/files/a.pak", BrokenChunk(kNew.substr(0, 5000))); },
     "Failed to download: a.pak", "Transfer broke off for ", &kOld, nullptr, true},
    {"an HTML page answered 200 in place of the file",
     [](Server& s, Server&) { s.Answer("patch/files/a.pak", Ok(kHtml, "text/html")); },
     "Downloaded file corrupted: a.pak", "", &kOld},
    {"an HTML page answered 200 in place of the manifest",
     [](Server& s, Server&) { s.Answer("patch/manifest.json", Ok(kHtml, "text/html")); },
     "Failed to parse manifest", "LoadManifest error: ", &kOld},
    {"a redirect to file://",
     [](Server& s, Server&) { s.Answer("patch/files/a.pak", Redirect("file:///etc/hostname")); },
     "Failed to download: a.pak", "Redirect refused for ", &kOld},
    {"a redirect to another scheme",
     [](Server& s, Server& m) {
       s.Answer("patch/files/a.pak", Redirect("gopher://127.0.0.1:" + m.Url("").substr(17) + "a"));
     },
     "Failed to download: a.pak", "Redirect refused for ", &kOld},
    {"a redirect to another port, a mirror with the right file",
     [](Server& s, Server& m) {
       m.Answer("mirror/a.pak", Ok(kNew));
       s.Answer("patch/files/a.pak", Redirect(m.Url("mirror/a.pak")));
     },
     "", "", &kNew},
    {"a redirect to another port, a mirror with the wrong file",
     [](Server& s, Server& m) {
       m.Answer("mirror/a.pak", Ok(kHtml));
       s.Answer("patch/files/a.pak", Redirect(m.Url("mirror/a.pak")));
     },
     "Downloaded file corrupted: a.pak", "", &kOld},
    {"an entry path of one 5,000-byte name",
     [](Server& s, Server&) {
       const std::string name(5000, 'n');
       s.Answer("patch/manifest.json", Ok(ManifestText(name, "long")));
       s.Answer("patch/files/" + name, Ok("long"));
     },
     "Failed to download: " /* + the name */, "Cannot write ", &kOld},
    {"an entry path of 5,000 bytes in short folders",
     [](Server& s, Server&) {
       s.Answer("patch/manifest.json", Ok(ManifestFor({kDeep})));
       s.Answer("patch/files/" + kDeep.path, Ok(kDeep.content));
     },
     "", "", &kOld, &kDeep},
    {"an entry path that is not UTF-8",
     [](Server& s, Server&) {
       s.Answer("patch/manifest.json", Ok(ManifestText("data/\xff\xfe.pak", "bytes")));
     },
     "Failed to parse manifest", "LoadManifest error: ", &kOld},
    {"percent-encoded dot-dot in an entry path",
     [](Server& s, Server&) {
       s.Answer("patch/manifest.json", Ok(ManifestFor({kDotted})));
       // The launcher asks for the name as it stands; the server never sees a way up.
       s.Answer("patch/files/%2e%2e/%2E%2E/escaped.pak", Ok(kDotted.content));
     },
     "", "", &kOld, &kDotted},
};

TEST_F(HostileServerSuite, EachMisbehaviourEndsCleanlyInBothPasses) {
  for (const Row& row : kRows) {
    for (auto start : {&UpdateManager::CheckUpdate, &UpdateManager::FixClient}) {
      const std::string what =
          std::string(row.name) + (start == &UpdateManager::CheckUpdate ? ", update" : ", repair");
      SCOPED_TRACE(what);
      Stage();
      row.arrange(server, mirror);
      const std::size_t linesBefore = LoggedLines(viewer).size();
      const auto began = Clock::now();
      const UpdateStatus end = Run(start);
      EXPECT_LT(Clock::now() - began, std::chrono::seconds(10));

      const std::string error = row.error;
      if (error.empty()) {
        EXPECT_EQ(end.state, UpdateState::Complete) << end.errorDetail;
      } else {
        EXPECT_EQ(end.state, UpdateState::Error);
        EXPECT_EQ(end.errorDetail.rfind(error, 0), 0u) << end.errorDetail;
      }
      if (*row.logged) {
        const std::string errors = ErrorLinesSince(linesBefore);
        EXPECT_NE(errors.find(row.logged), std::string::npos) << errors;
      }
      EXPECT_EQ(root.Read("game/a.pak"), *row.installed);
      if (row.written) {
        EXPECT_EQ(ReadBelow(game, row.written->path), row.written->content);
      }
      if (row.keepsBeginning) {
        EXPECT_EQ(StrayFiles(), std::vector<std::string>{"game/a.pak.velmora-part"});
        const std::string kept = root.Read("game/a.pak.velmora-part");
        EXPECT_FALSE(kept.empty());
        EXPECT_TRUE(kNew.compare(0, kept.size(), kept) == 0) << "not the new file's beginning";
      } else {
        EXPECT_EQ(StrayFiles(), std::vector<std::string>{});
      }
    }
  }
  // No request ever left the published tree.
  for (const auto& request : server.Requests())
    EXPECT_EQ(request.target.rfind("/patch/", 0), 0u) << request.target;
}

// Returns once `count` requests for `path` have arrived.
void WaitForRequests(const Server& server, const std::string& path, int count) {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (server.RequestsFor(path) < count && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_GE(server.RequestsFor(path), count) << "no request for " << path;
}

// A manifest of 200,000 entries is read and checked without stalling: the pass reaches the
// check of the files within seconds and a cancel there ends it. Entries carry only their path,
// to keep the test cheap; both passes read manifests alike, so the update alone is run. (The
// manifest's size bound and a 100,000-deep array are the bounded-document tests' concern.)
TEST_F(HostileServerSuite, AManifestOf200000EntriesIsCheckedAndCancellable) {
  constexpr int kEntries = 200000;
  std::string manifest = R"({"files":[)";
  for (int i = 0; i < kEntries; ++i)
    manifest += (i ? R"(,{"path":"d/)" : R"({"path":"d/)") + std::to_string(i) + "\"}";
  manifest += "]}";
  Stage();
  server.Answer("patch/manifest.json", Ok(manifest));
  const std::size_t linesBefore = LoggedLines(viewer).size();
  double secondsToCheck = -1;
  const auto began = Clock::now();
  const UpdateStatus end = Run(&UpdateManager::CheckUpdate, [&](UpdateManager& manager) {
    const auto deadline = began + std::chrono::seconds(30);
    while (Clock::now() < deadline && manager.CopyStatus().message.rfind("Checking: d/", 0) != 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    secondsToCheck = SecondsSince(began);
    manager.CancelUpdate();
  });
  std::printf("200,000 entries: %.2f s to the first file check\n", secondsToCheck);
  EXPECT_LT(secondsToCheck, 20.0);
  EXPECT_EQ(end.state, UpdateState::Idle) << end.errorDetail;
  EXPECT_EQ(end.message, "Update cancelled");
  const auto lines = LoggedLines(viewer);
  EXPECT_TRUE(AnyLineHas({lines.begin() + static_cast<long>(linesBefore), lines.end()},
                         "Manifest contains 200000 files"));
  EXPECT_FALSE(fs::exists(game / "d"));
}

// A body that drips one byte a second: the launcher stays responsive, cancelling or closing the
// window ends the transfer within a second, and the stall limit ends it by itself (shown with
// the limit shortened; the product waits kHttpStallSeconds).
TEST_F(HostileServerSuite, ADrippingBodyNeverHoldsThePlayer) {
  Stage();
  server.Answer("patch/files/a.pak", Drip());
  {
    UpdateManager manager(server.Url("patch/"), game.string());
    manager.CheckUpdate();
    WaitForRequests(server, "patch/files/a.pak", 1);
    double slowestReport = 0;
    for (int poll = 0; poll < 20; ++poll) {
      const auto asked = Clock::now();
      EXPECT_NE(manager.GetStatusJson().find(R"("state":"downloading")"), std::string::npos);
      slowestReport = std::max(slowestReport, SecondsSince(asked));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_LT(slowestReport, 0.1) << "the status report waited for the transfer";
    const auto cancelled = Clock::now();
    manager.CancelUpdate();
    FinishWorker(manager);
    EXPECT_LT(SecondsSince(cancelled), 1.0);
    const UpdateStatus end = StatusOf(manager);
    EXPECT_EQ(end.errorDetail, "Failed to download: a.pak");
    EXPECT_TRUE(end.canStart);
  }
  EXPECT_EQ(root.Read("game/a.pak"), kOld);
  // What dripped in waits for the next pass (which finds the server sends the whole file).
  EXPECT_EQ(StrayFiles(), std::vector<std::string>{"game/a.pak.velmora-part"});
  EXPECT_EQ(root.Read("game/a.pak.velmora-part").find_first_not_of('x'), std::string::npos);

  auto engine = std::make_unique<UpdateManager>(server.Url("patch/"), game.string());
  engine->FixClient();
  WaitForRequests(server, "patch/files/a.pak", 2);
  const auto closed = Clock::now();
  engine.reset();  // what closing the window does
  EXPECT_LT(SecondsSince(closed), 1.0);
  EXPECT_EQ(root.Read("game/a.pak"), kOld);

  platform::HttpOptions options;
  options.stallSeconds = 3;
  std::atomic<bool> giveUp{false};  // should the limit not end it, the test fails, not hangs
  options.cancel = &giveUp;
  std::thread referee([&] {
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (!giveUp && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    giveUp = true;
  });
  platform::HttpReceiver receiver;
  std::size_t received = 0;
  receiver.onChunk = [&](const char*, std::size_t size) { return (received += size), true; };
  const auto started = Clock::now();
  const platform::HttpOutcome outcome =
      platform::HttpGet(server.Url("patch/files/a.pak"), receiver, options);
  const double seconds = SecondsSince(started);
  giveUp = true;
  referee.join();
  EXPECT_EQ(outcome.failedStep, platform::HttpStep::Read) << "a drip is a stall";
  EXPECT_GT(received, 0u);
  EXPECT_GE(seconds, 2.5);
  EXPECT_LT(seconds, 12.0);
}

// A small tmpfs mounted on a folder for the life of the object; `mounted` is false (and
// `why` says why) where mounting is not allowed, in a container for one.
class SmallDisk {
 public:
  SmallDisk(const fs::path& folder, const char* size) : folder_(folder) {
    const std::string options = std::string("size=") + size + ",mode=0755";
    mounted = mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted) why = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted) umount2(folder_.c_str(), MNT_DETACH);
  }
  bool MakeReadOnly() const {
    return mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  bool mounted = false;
  std::string why;

 private:
  fs::path folder_;
};

// A game folder on a disk that is full or read-only, or filled by an endless body for an entry
// whose size the manifest does not give: the pass ends with an error line naming the file and
// the system's reason, the old file is intact and no temporary file stays.
TEST_F(HostileServerSuite, AFullOrReadOnlyDiskKeepsTheOldFile) {
  const std::string big(1 << 20, 'b');
  const struct {
    const char* name;
    bool readOnly;
    bool endless;
    const char* logged;
  } disks[] = {
      {"a full disk", false, false, "No space left on device"},
      {"an endless body without a manifest size", false, true, "No space left on device"},
      {"a read-only game folder", true, false, "Read-only file system"},
  };
  for (const auto& disk : disks) {
    for (auto start : {&UpdateManager::CheckUpdate, &UpdateManager::FixClient}) {
      SCOPED_TRACE(std::string(disk.name) +
                   (start == &UpdateManager::CheckUpdate ? ", update" : ", repair"));
      const SmallDisk small(game, "256k");
      if (!small.mounted) GTEST_SKIP() << small.why;
      Stage();
      if (disk.endless) {
        server.Answer("patch/manifest.json",
                      Ok(R"({"files":[{"path":"a.pak","hash":")" + HashOf(big) + R"("}]})"));
        server.Answer("patch/files/a.pak", Endless());
      } else {
        server.Answer("patch/manifest.json", Ok(ManifestFor({{"a.pak", big}})));
        server.Answer("patch/files/a.pak", Ok(big));
      }
      if (disk.readOnly) {
        ASSERT_TRUE(small.MakeReadOnly()) << std::strerror(errno);
      }
      const std::size_t linesBefore = LoggedLines(viewer).size();
      const UpdateStatus end = Run(start);
      EXPECT_EQ(end.errorDetail, "Failed to download: a.pak");
      EXPECT_TRUE(end.canStart);
      const std::string errors = ErrorLinesSince(linesBefore);
      EXPECT_NE(errors.find(disk.logged), std::string::npos) << errors;
      EXPECT_NE(errors.find("a.pak"), std::string::npos) << errors;
      EXPECT_EQ(root.Read("game/a.pak"), kOld);
      EXPECT_EQ(StrayFiles(), std::vector<std::string>{});
    }
  }
}

// Starts the update probe on `game` against `baseUrl`; its report goes to `output`.
pid_t StartProbe(const std::string& baseUrl, const fs::path& game, const fs::path& output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const std::string program = VELMORA_UPDATE_PROBE;
  const std::string folder = game.string();
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(baseUrl.c_str()),
                  const_cast<char*>(folder.c_str()), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The exit code of `pid` once it ended within 30 s (128 + signal when killed), -1 otherwise.
int WaitForProbe(pid_t pid) {
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  int status = 0;
  while (Clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// The launcher killed with SIGKILL while a game file is half written: the installed file is
// still the old one, the old version is still recorded, and the next run completes. (A
// settings save killed the same way is tests/settings/settings_store_posix_test.cpp's.)
TEST_F(HostileServerSuite, AKillDuringAFileWriteLosesNothingAndTheNextRunCompletes) {
  const std::string big(1 << 20, 'x');
  TempDir outputs{"probe output"};
  Stage();
  server.Answer("patch/manifest.json", Ok(ManifestFor({{"a.pak", big}})));
  server.Answer("patch/files/a.pak", HalfThenHold(big.size(), big.size() / 2));

  const pid_t first = StartProbe(server.Url("patch/"), game, outputs.path() / "first.txt");
  ASSERT_GT(first, 0);
  WaitForRequests(server, "patch/files/a.pak", 1);
  // Killed once the first half has reached the disk.
  const fs::path part = game / "a.pak.velmora-part";
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  std::error_code error;
  while (Clock::now() < deadline && fs::file_size(part, error) < big.size() / 4)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(fs::file_size(part, error), big.size() / 4) << "the probe never wrote the file";
  kill(first, SIGKILL);
  EXPECT_EQ(WaitForProbe(first), 128 + SIGKILL);
  EXPECT_EQ(root.Read("game/a.pak"), kOld);
  EXPECT_EQ(root.Read("game/local_version.txt"), "1.0");

  server.Answer("patch/files/a.pak", Ok(big));
  const pid_t second = StartProbe(server.Url("patch/"), game, outputs.path() / "second.txt");
  ASSERT_GT(second, 0);
  EXPECT_EQ(WaitForProbe(second), 0) << outputs.Read("second.txt");
  EXPECT_EQ(root.Read("game/a.pak"), big);
  EXPECT_EQ(root.Read("game/local_version.txt"), "2.0");
  EXPECT_EQ(StrayFiles(), std::vector<std::string>{});
}

}  // namespace
}  // namespace testing_support
