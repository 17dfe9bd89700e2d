// The patch server as a program: a folder's files under /patch/ and a small information page
// under /mini/, on the loopback interface only, every request logged to standard error.
//
//   patchserver --root <folder> --port <port> [--test-requests]
//
// Port 0 takes any free port. --test-requests also answers the engine tests' requests
// (tools/patchserver/test_requests.h), for the tests under wine. Once it listens it prints
// "patchserver: serving <folder> at http://127.0.0.1:<port>/patch/" to standard error. It ends on
// SIGINT or SIGTERM.

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "tools/patchserver/info_page.h"
#include "tools/patchserver/server.h"
#include "tools/patchserver/test_requests.h"

namespace {

struct Options {
  std::string root;
  int port = -1;
  bool testRequests = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--test-requests") {
      options.testRequests = true;
    } else if (i + 1 < argc && name == "--root") {
      options.root = argv[++i];
    } else if (i + 1 < argc && name == "--port") {
      options.port = std::atoi(argv[++i]);
    } else {
      return false;
    }
  }
  return !options.root.empty() && options.port >= 0 && options.port <= 65535;
}

void LogRequest(const patchserver::ServedRequest& request) {
  std::fprintf(stderr, "patchserver: %s /%s %d\n", request.method.c_str(), request.path.c_str(),
               request.status);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s --root <folder> --port <port> [--test-requests]\n", argv[0]);
    return 2;
  }
  if (!std::filesystem::is_directory(options.root)) {
    std::fprintf(stderr, "patchserver: %s is not a folder\n", options.root.c_str());
    return 1;
  }
  // Blocked before the server's threads start, so that they inherit it and sigwait takes them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  try {
    patchserver::ServerOptions serving{
        .root = options.root, .port = options.port, .log = LogRequest};
    if (options.testRequests) {
      serving.respond = [root = serving.root](const httplib::Request& request) {
        return patchserver::TestRequest(root, request);
      };
    }
    patchserver::Server server(std::move(serving));
    const patchserver::Reply infoPage =
        patchserver::TextReply(patchserver::kInfoPage, "text/html; charset=utf-8");
    server.Answer("mini/", infoPage);
    server.Answer("mini", infoPage);
    std::fprintf(stderr, "patchserver: serving %s at %s\n", options.root.c_str(),
                 server.Url("patch/").c_str());
    int received = 0;
    sigwait(&signals, &received);
  } catch (const std::exception&) {
    std::fprintf(stderr, "patchserver: cannot listen on 127.0.0.1:%d (is the port taken?)\n",
                 options.port);
    return 1;
  }
  return 0;
}
