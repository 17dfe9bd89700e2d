// A real HTTP server on 127.0.0.1 for the update engine's tests and the update scenarios.
//
// The project's patch server (tools/patchserver) answering the tests' requests: on Linux inside
// the test program; for Windows test programs (under wine), which cannot link it, bin/patchserver
// --test-requests built for this machine, which ctest starts before them (loopback_server.sh); the
// program gets a folder of its own in that server's tree. The requests:
//   TreeUrl() + <path>  the file at <path> below TreeFolder() (404 when there is none); a
//                       "Range: bytes=<n>-" request gets 206 and the rest from byte n, or 416
//                       when the file has no byte n
//   WholeTreeUrl() + <path>  the same, except that a Range header is ignored: 200 and the
//                       whole file
//   SlowTreeUrl() + <path>  the same, throttled: 8,192 bytes every 5 ms
//   EndlessFilesUrl() + <path>  the same, except that every path below files/ is answered like
//                       /endless/
//   /status/<n>         HTTP status n with a short error page
//   /empty              200 with an empty body
//   /bytes/<n>          200 with n bytes of Pattern(n)
//   /slow/<n>           the same, throttled: 8,192 bytes every 5 ms
//   /cut/<n>            200 announcing n bytes, but only the first n / 2 of Pattern(n) come
//                       before the connection is closed
//   /endless/<any>      200 and a body that never ends: "[" after "[" until the client goes away
//   /echo/<any>         200, the body is the request target exactly as the server received it
//   /headers            200, the body is the User-Agent and Cache-Control headers, one per line
//   /redirect/<n>       n redirects, then 200 with "arrived"
//   /redirect-loop/<n>  a redirect to /redirect-loop/<n+1>, for ever
//   /redirect-away/<s>  a redirect to a file: (s = file) or ftp: (s = ftp) URL
//   /drip-headers       a status line, then a header one byte every 200 ms, never finished
//   /stall-body/<n>     announces 2n bytes, sends n and then nothing
//   /silent/<any>       never answers
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "tools/patchserver/reply.h"

namespace testing_support {

class LoopbackServer {
 public:
  // On a free port, or on `port` (Linux only: std::logic_error elsewhere).
  explicit LoopbackServer(int port = 0);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // "http://127.0.0.1:<port>/" + `path`.
  std::string Url(const std::string& path = "") const;
  // The URL of this server's tree folder, ending in "/" (".../patch/" on Linux).
  std::string TreeUrl() const;
  // The same folder served through /slowtree/, /endlessfiles/ and /wholetree/.
  std::string SlowTreeUrl() const;
  std::string EndlessFilesUrl() const;
  std::string WholeTreeUrl() const;
  // The folder served at TreeUrl(), empty at first.
  const std::filesystem::path& TreeFolder() const;
  // Writes `content` to the relative path `name` of the tree folder (folders created).
  void Publish(const std::string& name, const std::string& content) const;
  // Removes the relative path `name` from the tree folder.
  void Withdraw(const std::string& name) const;

  // From now on the tree path `name` ("manifest.json", "files/a b.pak": decoded, relative to
  // TreeUrl()) is answered with `reply` instead. Windows serves files only: there a 404
  // withdraws the file, a plain text reply publishes it, and anything else throws
  // std::logic_error.
  void Answer(const std::string& name, const patchserver::Reply& reply);

  // Linux only (std::logic_error elsewhere): how many requests for the tree path `name` arrived;
  // requests for it waiting, unanswered, from Hold until Release; WaitUntilHeld returns once one
  // waits.
  int Requests(const std::string& name) const;
  void Hold(const std::string& name);
  void WaitUntilHeld(const std::string& name);
  void Release(const std::string& name);

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The body /bytes/<n> and /slow/<n> send: byte i is i % 251.
std::string Pattern(std::size_t size);

// A loopback URL whose port nobody listens on.
std::string UnusedPortUrl(const std::string& path);

// A URL of a server that lives as long as the program, for tests that need no tree.
std::string ScriptedServerUrl(const std::string& path);

}  // namespace testing_support
