// A Linux log viewer that reads slowly, stops reading or is replaced: the launcher's lines wait
// for it a bounded time and never more, and a viewer that keeps up loses nothing.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log/log.h"
#include "platform/log_socket_path.h"

namespace {

using namespace std::chrono_literals;

// A viewer bound at the launcher's socket address that reads only when told to, optionally
// pausing after every `burst` lines as a busy viewer does.
class Listener {
 public:
  Listener() : path_(platform::LogSocketPath()) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
    unlink(path_.c_str());
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
      ADD_FAILURE() << "cannot bind " << path_;
    }
    timeval timeout{0, 20 * 1000};  // lets the reading thread notice Close
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  }
  ~Listener() {
    Close();
    Unlink();
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  void StartReading(int burst = 0, std::chrono::milliseconds pause = 0ms) {
    reader_ = std::thread([this, burst, pause] {
      std::vector<char> buffer(1 << 20);
      int sinceBreak = 0;
      while (!stop_) {
        const ssize_t size = recv(fd_, buffer.data(), buffer.size(), 0);
        if (size <= 0) continue;
        {
          std::lock_guard lock(mutex_);
          lines_.emplace_back(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(size)));
          arrived_.notify_all();
        }
        if (burst > 0 && ++sinceBreak == burst) {
          sinceBreak = 0;
          std::this_thread::sleep_for(pause);
        }
      }
    });
  }

  // Ends reading and closes the socket: a sender blocked on it returns.
  void Close() {
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  // Removes the address while the socket stays open, so that another viewer can take it.
  void Unlink() {
    if (!unlinked_) unlink(path_.c_str());
    unlinked_ = true;
  }

  // The messages of the lines received, waiting up to `timeout` until there are `count`.
  std::vector<std::string> Messages(std::size_t count, std::chrono::milliseconds timeout = 20s) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
    std::vector<std::string> messages;
    for (const std::string& line : lines_)
      messages.push_back(
          line.substr(line.find("]: ") + 3, line.find("\r\n") - line.find("]: ") - 3));
    return messages;
  }
  // Waits until no line has arrived for a while.
  std::size_t Settled() {
    std::size_t count = Messages(0, 0ms).size();
    for (;;) {
      std::this_thread::sleep_for(200ms);
      const std::size_t now = Messages(0, 0ms).size();
      if (now == count) return count;
      count = now;
    }
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool unlinked_ = false;
  std::atomic<bool> stop_{false};
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<std::string> lines_;
};

// Runs `work` on a thread of its own; true when it ended within `limit`. When it did not (a
// sender blocked for good), `release` is called so that the thread can end before the test does.
bool EndsWithin(std::chrono::seconds limit, const std::function<void()>& work,
                const std::function<void()>& release) {
  std::future<void> done = std::async(std::launch::async, work);
  if (done.wait_for(limit) == std::future_status::ready) return true;
  release();
  done.wait();
  return false;
}

std::vector<std::string> Numbered(const std::string& prefix, int count) {
  std::vector<std::string> messages;
  for (int i = 0; i < count; ++i)
    messages.push_back(prefix + std::to_string(i));
  return messages;
}

void LogAll(const std::vector<std::string>& messages) {
  for (const std::string& message : messages)
    LogInfo("%s", message.c_str());
}

// Every line waiting for a viewer that never reads would cost the bound (one second): 200 lines
// would take 200 s. The sink waits once and then drops lines at once while the viewer is stuck.
TEST(LogViewerWait, ViewerThatNeverReadsCostsOneBoundedWait) {
  Listener stuck;
  const std::vector<std::string> lines = Numbered("never read ", 200);
  EXPECT_TRUE(EndsWithin(
      20s, [&] { LogAll(lines); }, [&] { stuck.Close(); }))
      << "logging blocked on a viewer that does not read";

  // What the viewer's queue took before it was full arrives whole and in order.
  stuck.StartReading();
  const std::size_t received = stuck.Settled();
  const std::vector<std::string> messages = stuck.Messages(received);
  ASSERT_GE(messages.size(), 1u);
  EXPECT_LT(messages.size(), lines.size());
  for (std::size_t i = 0; i < messages.size(); ++i)
    EXPECT_EQ(messages[i], lines[i]);
}

// A viewer that pauses for less than the bound now and then keeps up: nothing is lost.
TEST(LogViewerWait, SlowViewerThatKeepsUpReceivesEveryLineInOrder) {
  Listener slow;
  slow.StartReading(/*burst=*/100, /*pause=*/300ms);
  const std::vector<std::string> lines = Numbered("slow ", 600);
  ASSERT_TRUE(EndsWithin(
      60s, [&] { LogAll(lines); }, [&] { slow.Close(); }));
  EXPECT_EQ(slow.Messages(lines.size()), lines);
}

// The stuck mark ends with the first line that gets through; from then on lines wait again.
TEST(LogViewerWait, ViewerThatReadsAgainIsWaitedForAgain) {
  Listener viewer;
  ASSERT_TRUE(EndsWithin(
      20s, [&] { LogAll(Numbered("while stuck ", 50)); }, [&] { viewer.Close(); }));
  viewer.StartReading(/*burst=*/100, /*pause=*/300ms);
  const std::size_t kept = viewer.Settled();

  std::vector<std::string> later = Numbered("after ", 400);
  ASSERT_TRUE(EndsWithin(
      60s, [&] { LogAll(later); }, [&] { viewer.Close(); }));
  const std::vector<std::string> messages = viewer.Messages(kept + later.size());
  EXPECT_EQ(std::vector<std::string>(messages.begin() + static_cast<std::ptrdiff_t>(kept),
                                     messages.end()),
            later);
}

// A viewer that stopped reading is replaced while it still holds the lines it took. The sending
// thread's buffer must not stay tied up in the old viewer: the new one receives every line.
TEST(LogViewerWait, NewViewerInPlaceOfAStuckOneReceivesEveryLine) {
  const std::string filler(30000, 'x');  // a few such lines fill a socket's send buffer
  auto stuck = std::make_unique<Listener>();
  std::unique_ptr<Listener> fresh;
  std::vector<std::string> later;
  for (int i = 0; i < 100; ++i)
    later.push_back("fresh " + std::to_string(i) + " " + filler);

  // Both phases on one thread: the sink keeps one socket per thread.
  ASSERT_TRUE(EndsWithin(
      60s,
      [&] {
        for (int i = 0; i < 40; ++i)
          LogInfo("stuck %d %s", i, filler.c_str());
        stuck->Unlink();
        fresh = std::make_unique<Listener>();
        fresh->StartReading();
        LogAll(later);
      },
      [&] {
        stuck->Close();
        if (fresh) fresh->Close();
      }));
  EXPECT_EQ(fresh->Messages(later.size()), later);
}

}  // namespace
