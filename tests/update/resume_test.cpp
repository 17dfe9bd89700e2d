// Resumed game files: a temporary file left by an earlier download is continued with a Range
// request when the server sends the rest; when it sends the whole file, refuses the range, or the
// result does not match, the file is fetched whole once more. The installed file is replaced
// only by a whole, verified download, and a cancelled transfer keeps what arrived.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/engine_test_support.h"
#include "tests/update/loopback_server.h"
#include "tests/update/manager_access.h"
#include "update/content_range.h"
#include "update/update_manager.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

constexpr char kPart[] = "data/a.pak.velmora-part";

class Resume : public ::testing::Test {
 protected:
  void SetUp() override { viewer.Start(); }

  // Publishes version 2.0 with data/a.pak as `served`, listed with the hash of `listed` and
  // `size`, and records version 1.0 with an old data/a.pak as installed.
  void Stage(const std::string& served, const std::string& listed, std::size_t size) {
    server.Publish("version.json", R"({"version":"2.0"})");
    server.Publish("manifest.json", R"({"files":[{"path":"data/a.pak","hash":")" + HashOf(listed) +
                                        R"(","size":)" + std::to_string(size) + "}]}");
    server.Publish("files/data/a.pak", served);
    dir.Write("data/a.pak", "the old file");
    dir.Write("local_version.txt", "1.0");
  }

  UpdateStatus RunUpdate(const std::string& baseUrl) {
    UpdateManager manager(baseUrl, dir.utf8());
    manager.CheckUpdate();
    UpdateManagerTestAccess::JoinWorker(manager);
    return manager.CopyStatus();
  }

  LoopbackServer server;
  TempDir dir{"velmora resume"};
  LogCapture viewer;
};

const std::string kContent = Pattern(1'000'000);

std::string Bytes(std::size_t size, char c) {
  return std::string(size, c);
}

// The lines that tell what became of a temporary file, in order.
std::vector<std::string> ResumeLines(const std::vector<std::string>& lines) {
  static const char* const kMarkers[] = {"]: Resuming ",           "not the rest",
                                         "]: Range refused for ",  "after resuming",
                                         "]: Dropped the partial", "again from its start"};
  std::vector<std::string> said;
  for (const std::string& line : lines)
    for (const char* marker : kMarkers)
      if (line.find(marker) != std::string::npos) {
        said.push_back(line);
        break;
      }
  return said;
}

// Only an answer that names the rest asked for is appended.
TEST(ContentRange, OnlyASatisfiedByteRangeNamesItsFirstByte) {
  const struct {
    const char* value;
    std::optional<std::uint64_t> start;
  } cases[] = {
      {"bytes 100-199/200", 100},
      {"Bytes  0-0/1 ", 0},
      {"bytes 5000000000-5000000009/*", 5'000'000'000},
      {"bytes */200", std::nullopt},
      {"bytes 100-199/150", std::nullopt},
      {"bytes 150-100/200", std::nullopt},
      {"bytes 100-/200", std::nullopt},
      {"bytes=100-199/200", std::nullopt},
      {"items 100-199/200", std::nullopt},
      {"bytes 99999999999999999999-99999999999999999999/*", std::nullopt},
      {"bytes 100-199/200x", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& item : cases)
    EXPECT_EQ(ContentRangeStart(item.value), item.start) << item.value;
}

TEST_F(Resume, ATemporaryFileIsContinuedOrElseFetchedWholeOnce) {
  const std::string resumed = "Resuming data/a.pak at byte 300000 of 1000000";
  const std::string again = "Downloading data/a.pak again from its start";
  const struct {
    const char* name;
    std::string part;    // what an earlier download left
    std::string served;  // the server's file
    std::size_t listedSize;
    bool ignoresRange;
    std::vector<std::string> lines;  // what became of the temporary file, in order
    const char* errorDetail;         // "" when the file is installed
  } cases[] = {
      {"the rest is appended",
       kContent.substr(0, 300'000),
       kContent,
       kContent.size(),
       false,
       {resumed},
       ""},
      {"a server that ignores the range sends it all",
       kContent.substr(0, 300'000),
       kContent,
       kContent.size(),
       true,
       {resumed, "The server sent all of data/a.pak, not the rest"},
       ""},
      {"a range past the server's file is refused",
       kContent + Bytes(10, 'x'),
       kContent,
       kContent.size() + 100,
       false,
       {"Resuming data/a.pak at byte 1000010 of 1000100", "from byte 1000010: HTTP status 416",
        again},
       ""},
      {"wrong bytes kept from before",
       Bytes(300'000, 'x'),
       kContent,
       kContent.size(),
       false,
       {resumed, "data/a.pak does not match its hash after resuming at byte 300000", again},
       ""},
      {"a temporary file as long as the file",
       Bytes(kContent.size(), 'x'),
       kContent,
       kContent.size(),
       false,
       {"Dropped the partial download of data/a.pak (1000000 bytes)"},
       ""},
      {"a wrong file on the server is fetched once more, then fails",
       kContent.substr(0, 300'000),
       Pattern(999'999) + "x",
       kContent.size(),
       false,
       {resumed, "does not match its hash after resuming", again},
       "Downloaded file corrupted: data/a.pak"},
  };
  for (const auto& item : cases) {
    Stage(item.served, kContent, item.listedSize);
    dir.Write(kPart, item.part);
    const std::size_t before = LoggedLines(viewer).size();
    const UpdateStatus status =
        RunUpdate(item.ignoresRange ? server.WholeTreeUrl() : server.TreeUrl());
    const std::vector<std::string> all = LoggedLines(viewer);
    const std::vector<std::string> said =
        ResumeLines(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()));

    if (*item.errorDetail == '\0') {
      EXPECT_EQ(status.state, UpdateState::Complete) << item.name << ": " << status.errorDetail;
      EXPECT_TRUE(dir.Read("data/a.pak") == kContent) << item.name;
      EXPECT_EQ(status.bytesComplete, item.listedSize) << item.name;
    } else {
      EXPECT_EQ(status.errorDetail, item.errorDetail) << item.name;
      EXPECT_EQ(dir.Read("data/a.pak"), "the old file") << item.name;
    }
    EXPECT_FALSE(fs::exists(dir.path() / kPart)) << item.name;
    ASSERT_EQ(said.size(), item.lines.size()) << item.name << ": " << testing::PrintToString(said);
    for (std::size_t i = 0; i < said.size(); ++i)
      EXPECT_NE(said[i].find(item.lines[i]), std::string::npos) << item.name << ": " << said[i];
  }
}

TEST_F(Resume, ACancelledTransferKeepsWhatArrivedForTheNextPass) {
  const std::string big = Pattern(2'400'000);  // about 1.5 s at the slow server's pace
  Stage(big, big, big.size());
  {
    UpdateManager manager(server.SlowTreeUrl(), dir.utf8());
    manager.CheckUpdate();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    const auto arrived = [&] {
      std::error_code missing;
      const auto size = fs::file_size(dir.path() / kPart, missing);
      return !missing && size >= 500'000;
    };
    while (!arrived() && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    manager.CancelUpdate();
    UpdateManagerTestAccess::JoinWorker(manager);
    EXPECT_EQ(manager.CopyStatus().errorDetail, "Failed to download: data/a.pak");
  }
  EXPECT_EQ(dir.Read("data/a.pak"), "the old file");
  const std::string kept = dir.Read(kPart);
  ASSERT_GE(kept.size(), 500'000u);
  ASSERT_LT(kept.size(), big.size());
  EXPECT_TRUE(kept == big.substr(0, kept.size())) << "the temporary file holds another beginning";

  const UpdateStatus status = RunUpdate(server.TreeUrl());
  EXPECT_EQ(status.state, UpdateState::Complete) << status.errorDetail;
  EXPECT_TRUE(dir.Read("data/a.pak") == big);
  EXPECT_FALSE(fs::exists(dir.path() / kPart));
  const std::vector<std::string> lines = LoggedLines(viewer);
  EXPECT_TRUE(AnyLineHas(lines, "Resuming data/a.pak at byte " + std::to_string(kept.size()) +
                                    " of " + std::to_string(big.size())));
  EXPECT_FALSE(AnyLineHas(lines, "not the rest"));
}

}  // namespace
