#include "tools/patchserver/test_requests.h"

#include "tools/patchserver/server.h"

namespace patchserver {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

Reply Slowly(Reply reply) {
  reply.piece = 8192;
  reply.pause = 5ms;
  return reply;
}

Reply Endless() {
  return {.contentType = "application/json",
          .body = RepeatedBody(std::string(65536, '['), kEndless),
          .withoutLength = true};
}

}  // namespace

std::optional<Reply> TestRequest(const fs::path& root, const httplib::Request& request) {
  const std::string path = request.path.substr(1);
  const std::size_t slash = path.find('/');
  const std::string route = path.substr(0, slash);
  const std::string rest = slash == std::string::npos ? "" : path.substr(slash + 1);
  const auto number = [&] { return std::stoull(rest); };
  if (route == "slowtree") return Slowly(FileReply(root, rest));
  if (route == "wholetree") {
    Reply reply = FileReply(root, rest);
    reply.ignoresRange = true;
    return reply;
  }
  if (route == "endlessfiles")  // a game file: a path through a folder named files
    return ("/" + rest).find("/files/") != std::string::npos ? Endless() : FileReply(root, rest);
  if (route == "endless") return Endless();
  if (route == "status") {
    return Reply{.status = std::stoi(rest),
                 .contentType = "text/html",
                 .body = TextBody("error page " + rest)};
  }
  if (route == "empty") return Reply{};
  if (route == "bytes") return Reply{.body = PatternBody(number())};
  if (route == "slow") return Slowly({.body = PatternBody(number())});
  if (route == "cut") return Reply{.body = PatternBody(number()), .closeAfter = number() / 2};
  if (route == "echo") return TextReply(request.target);
  if (route == "headers") {
    return TextReply(request.get_header_value("User-Agent") + "\n" +
                     request.get_header_value("Cache-Control") + "\n");
  }
  if (route == "redirect")
    return number() > 0 ? Redirect("/redirect/" + std::to_string(number() - 1))
                        : TextReply("arrived");
  if (route == "redirect-loop") return Redirect("/redirect-loop/" + std::to_string(number() + 1));
  if (route == "redirect-away")
    return Redirect(rest == "file" ? "file:///etc/hosts" : "ftp://127.0.0.1:21/file.pak");
  if (route == "drip-headers") return Reply{.dripHeaders = 200ms};
  if (route == "stall-body")
    return Reply{.body = PatternBody(2 * number()), .silentAfter = number()};
  if (route == "silent") return Reply{.silent = true};
  return std::nullopt;
}

}  // namespace patchserver
