// The project's patch server on 127.0.0.1 (cpp-httplib): a folder's files under /patch/, with
// keep-alive and ranges, plus whatever a test or tool tells it to answer instead (reply.h). The
// tests run it inside their program, the benchmarks and the end-to-end tests as bin/patchserver.
#pragma once

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tools/patchserver/reply.h"

namespace patchserver {

struct ServedRequest {
  std::string method;
  std::string path;    // decoded, without its leading "/"
  std::string target;  // as the request line carried it
  int status = 0;
  std::uint64_t connection = 0;  // the connection that carried it, numbered from 1
};

struct ServerOptions {
  std::filesystem::path root{};  // served at "patch/"; empty serves no folder
  int port = 0;                  // 0 takes a free port; a port in use fails, it is never shared
  // Asked for every request that no Answer covers, before the folder: a reply or nothing.
  std::function<std::optional<Reply>(const httplib::Request&)> respond{};
  // Told of every request once its reply is chosen, on the thread that serves it.
  std::function<void(const ServedRequest&)> log{};
};

// The reply for `relative` below `root`: the file (links leading out of `root` refused) or 404.
Reply FileReply(const std::filesystem::path& root, const std::string& relative);

class Server {
 public:
  // Listening when constructed; throws std::runtime_error when the port cannot be had.
  explicit Server(ServerOptions options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>/" + `path`.
  std::string Url(const std::string& path = "") const;

  // From now on the request path `path` (without its leading "/") is answered with `reply`.
  void Answer(const std::string& path, Reply reply);

  // Every request answered so far, in order, and how many of them asked for `path`.
  std::vector<ServedRequest> Requests() const;
  int RequestsFor(const std::string& path) const;

  // Requests for `path` wait, unanswered, until Release (or the server's end).
  void Hold(const std::string& path);
  // Returns once a held request for `path` waits; throws after 30 s.
  void WaitUntilHeld(const std::string& path);
  void Release(const std::string& path);

 private:
  class Listener;
  void Handle(const httplib::Request& request, httplib::Response& response);
  Reply Choose(const std::string& path, const httplib::Request& request) const;
  void WaitWhileHeld(const std::string& path);

  ServerOptions options_;
  std::unique_ptr<Listener> listener_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> stopping_{false};
  std::map<std::string, Reply> answers_;
  std::vector<ServedRequest> requests_;
  std::set<std::string> held_;
  std::multiset<std::string> waiting_;
};

}  // namespace patchserver
