// What the patch server sends for one request: a plain answer by default, or one that misbehaves
// the way a test asks. Plain data with designated initializers in mind:
//
//   server.Answer("patch/files/a.pak", {.body = PatternBody(1000), .closeAfter = 500});
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace patchserver {

constexpr std::uint64_t kEndless = std::numeric_limits<std::uint64_t>::max();

// The bytes of a body: `unit` repeated until `size` bytes, or the file `file` when it is set.
struct Body {
  std::string unit{};
  std::uint64_t size = 0;
  std::filesystem::path file{};
};

inline Body TextBody(std::string text) {
  const std::uint64_t size = text.size();
  return {std::move(text), size, {}};
}
inline Body RepeatedBody(std::string unit, std::uint64_t size) {
  return {std::move(unit), size, {}};
}
// `size` bytes whose byte i is i % 251: a shifted copy never matches.
inline Body PatternBody(std::uint64_t size) {
  std::string unit(251, '\0');
  for (std::size_t i = 0; i < unit.size(); ++i)
    unit[i] = static_cast<char>(i);
  return {std::move(unit), size, {}};
}
inline Body FileBody(std::filesystem::path file) {
  return {{}, 0, std::move(file)};
}

struct Reply {
  int status = 200;
  std::string contentType = "application/octet-stream";
  std::vector<std::pair<std::string, std::string>> headers{};  // Location, ...
  Body body{};

  // Misbehaviours. With any of them set the server writes the answer itself, byte for byte,
  // whatever Range the request holds, announces "Connection: close" and closes the connection
  // after it.
  bool ignoresRange = false;  // nothing else: the whole body where a range was asked for
  std::optional<std::uint64_t> contentLength{};  // announced instead of the body's size
  bool withoutLength = false;          // no Content-Length: the body ends with the connection
  std::size_t piece = 0;               // the body in pieces of this many bytes...
  std::chrono::milliseconds pause{0};  // ...each after this pause
  std::optional<std::uint64_t> closeAfter{};   // the connection closes after this many body bytes
  std::optional<std::uint64_t> silentAfter{};  // after this many body bytes nothing more comes
  std::chrono::milliseconds dripHeaders{0};    // after the status line, a header that never ends,
                                               // one byte per interval
  bool silent = false;                         // no answer at all; the connection stays open

  bool Misbehaves() const {
    return ignoresRange || contentLength || withoutLength || piece > 0 || pause.count() > 0 ||
           closeAfter || silentAfter || dripHeaders.count() > 0 || silent;
  }
};

inline Reply TextReply(std::string text, std::string contentType = "text/plain") {
  return {.contentType = std::move(contentType), .body = TextBody(std::move(text))};
}
inline Reply NotFound() {
  return {.status = 404, .contentType = "text/plain", .body = TextBody("Not found\n")};
}
inline Reply Redirect(std::string location) {
  return {.status = 302, .headers = {{"Location", std::move(location)}}};
}

}  // namespace patchserver
