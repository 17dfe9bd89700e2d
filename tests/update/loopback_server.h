// A real HTTP server on 127.0.0.1 for the update engine's tests.
//
// Linux runs cpp-httplib inside the test program. Windows test programs (under wine) talk to
// loopback_server.py, which ctest starts before them; the program gets a folder of its own in
// that server's tree. Both answer the same requests:
//   /tree/<path>  the file at <path> below the server's tree (404 when there is none); a
//                 "Range: bytes=<n>-" request gets 206 and the rest from byte n, or 416 when the
//                 file has no byte n
//   /wholetree/<path>  what /tree/<path> answers, except that a Range header is ignored: 200
//                 and the whole file
//   /status/<n>   HTTP status n with a short error page
//   /empty        200 with an empty body
//   /bytes/<n>    200 with n bytes of Pattern(n)
//   /slow/<n>     the same, throttled: 8,192 bytes every 5 ms
//   /cut/<n>      200 announcing n bytes, but only the first n / 2 of Pattern(n) come before
//                 the connection is closed
//   /slowtree/<path>  what /tree/<path> answers (ranges too), throttled the same way
//   /endless/<any>  200 and a body that never ends: "[" after "[" until the client goes away
//   /endlessfiles/<path>  what /tree/<path> answers, except that every path below files/ is
//                 answered like /endless/
//   /echo/<any>   200, the body is the request target exactly as the server received it
//   /headers      200, the body is the User-Agent and Cache-Control headers, one per line
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

namespace testing_support {

class LoopbackServer {
 public:
  LoopbackServer();  // running when constructed
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // "http://127.0.0.1:<port>/" + `path`.
  std::string Url(const std::string& path = "") const;
  // The URL of this server's tree folder for this test, ending in "/".
  std::string TreeUrl() const;
  // The same folder served through /slowtree/, /endlessfiles/ and /wholetree/.
  std::string SlowTreeUrl() const;
  std::string EndlessFilesUrl() const;
  std::string WholeTreeUrl() const;
  // Writes `content` to the relative path `name` of the tree folder (folders created).
  void Publish(const std::string& name, const std::string& content) const;
  // Removes the relative path `name` from the tree folder.
  void Withdraw(const std::string& name) const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The body /bytes/<n> and /slow/<n> send: byte i is i % 251.
std::string Pattern(std::size_t size);

// A loopback URL whose port nobody listens on.
std::string UnusedPortUrl(const std::string& path);

// A URL of loopback_server.py, which also misbehaves on request (both platforms; Linux starts it
// on first use and stops it when the program ends):
//   /redirect/<n>          n redirects, then 200 with "arrived"
//   /redirect-loop/<n>     a redirect to /redirect-loop/<n+1>, for ever
//   /redirect-away/<s>     a redirect to a file: (s = file) or ftp: (s = ftp) URL
//   /drip-headers          a status line, then a header one byte every 200 ms, never finished
//   /stall-body/<n>        announces 2n bytes, sends n and then nothing
//   /silent/<any>          never answers
std::string ScriptedServerUrl(const std::string& path);

}  // namespace testing_support
