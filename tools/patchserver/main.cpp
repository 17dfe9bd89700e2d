// The demo patch server: serves a folder's files under /patch/ and a small information page
// under /mini/, on the loopback interface only, and logs every request to standard error.
//
//   patchserver --root <folder> --port <port>
//
// Port 0 takes any free port. Once it listens it prints
// "patchserver: serving <folder> at http://127.0.0.1:<port>/patch/" to standard error. It ends on
// SIGINT or SIGTERM.

#include <httplib.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "tools/patchserver/info_page.h"
#include "tools/patchserver/patch_path.h"

namespace {

struct Options {
  std::string root;
  int port = -1;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--root") == 0) {
      options.root = argv[i + 1];
    } else if (std::strcmp(argv[i], "--port") == 0) {
      options.port = std::atoi(argv[i + 1]);
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && !options.root.empty() && options.port >= 0 && options.port <= 65535;
}

// Streams the file in pieces, so a large game file never sits in memory whole.
void ServeFile(const std::filesystem::path& file, httplib::Response& response) {
  auto stream = std::make_shared<std::ifstream>(file, std::ios::binary);
  const auto size = static_cast<std::size_t>(std::filesystem::file_size(file));
  response.set_content_provider(
      size, patchserver::ContentTypeFor(file),
      [stream](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        char buffer[64 * 1024];
        stream->seekg(static_cast<std::streamoff>(offset));
        stream->read(buffer, static_cast<std::streamsize>(std::min(length, sizeof(buffer))));
        if (stream->gcount() <= 0) return false;
        return sink.write(buffer, static_cast<std::size_t>(stream->gcount()));
      });
}

void AddRoutes(httplib::Server& server, const std::filesystem::path& root) {
  server.Get("/patch/(.*)", [root](const httplib::Request& request, httplib::Response& response) {
    const auto file = patchserver::ResolveServedFile(root, request.matches[1].str());
    if (!file) {
      response.status = 404;
      response.set_content("Not found\n", "text/plain");
      return;
    }
    ServeFile(*file, response);
  });
  server.Get("/mini/?", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(patchserver::kInfoPage, "text/html; charset=utf-8");
  });
  server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
    std::fprintf(stderr, "patchserver: %s %s %d\n", request.method.c_str(), request.path.c_str(),
                 response.status);
  });
}

// Ends the server on SIGINT or SIGTERM; the signals are taken by this thread alone.
std::thread StopOnSignal(httplib::Server& server) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return std::thread([&server, signals] {
    int received = 0;
    sigwait(&signals, &received);
    server.stop();
  });
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s --root <folder> --port <port>\n", argv[0]);
    return 2;
  }
  if (!std::filesystem::is_directory(options.root)) {
    std::fprintf(stderr, "patchserver: %s is not a folder\n", options.root.c_str());
    return 1;
  }

  httplib::Server server;
  // Without SO_REUSEPORT, so that a second server on the same port fails instead of sharing it.
  server.set_socket_options([](socket_t socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });
  AddRoutes(server, options.root);
  const int port = options.port == 0
                       ? server.bind_to_any_port("127.0.0.1")
                       : (server.bind_to_port("127.0.0.1", options.port) ? options.port : -1);
  if (port < 0) {
    std::fprintf(stderr, "patchserver: cannot listen on 127.0.0.1:%d (is the port taken?)\n",
                 options.port);
    return 1;
  }
  std::thread stopper = StopOnSignal(server);
  std::fprintf(stderr, "patchserver: serving %s at http://127.0.0.1:%d/patch/\n",
               options.root.c_str(), port);
  server.listen_after_bind();
  stopper.join();
  return 0;
}
