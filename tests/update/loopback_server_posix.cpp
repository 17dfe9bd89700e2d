#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/update/loopback_server.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSlowPiece = 8192;
constexpr std::size_t kEndlessPiece = 65536;

void ServeSlow(std::size_t size, httplib::Response& response) {
  response.set_content_provider(size, "application/octet-stream",
                                [size](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                  const std::size_t piece = std::min(kSlowPiece, size - offset);
                                  std::string data(piece, '\0');
                                  for (std::size_t i = 0; i < piece; ++i)
                                    data[i] = static_cast<char>((offset + i) % 251);
                                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
                                  return sink.write(data.data(), data.size());
                                });
}

void ServeEndlessly(httplib::Response& response) {
  response.set_chunked_content_provider("application/json",
                                        [](std::size_t, httplib::DataSink& sink) {
                                          const std::string piece(kEndlessPiece, '[');
                                          return sink.write(piece.data(), piece.size());
                                        });
}

// Sends `body` 8,192 bytes every 5 ms.
void ServeSlowly(std::string body, httplib::Response& response) {
  const std::size_t size = body.size();
  response.set_content_provider(
      size, "application/octet-stream",
      [body = std::move(body)](std::size_t offset, std::size_t, httplib::DataSink& sink) {
        const std::size_t piece = std::min(kSlowPiece, body.size() - offset);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return sink.write(body.data() + offset, piece);
      });
}

// A body of unannounced length with status 200: the server leaves it whole whatever Range the
// request holds.
void ServeIgnoringRange(std::string body, httplib::Response& response) {
  response.status = 200;
  response.set_chunked_content_provider(
      "application/octet-stream",
      [body = std::move(body)](std::size_t offset, httplib::DataSink& sink) {
        if (offset < body.size()) return sink.write(body.data() + offset, body.size() - offset);
        sink.done();
        return true;
      });
}

enum class TreeAnswer { Plain, Slowly, IgnoringRange };

// httplib answers a Range request of a body of known length by itself (206 or 416).
void ServeTree(const TempDir& tree, const httplib::Request& request, httplib::Response& response,
               TreeAnswer answer) {
  const std::string relative = request.matches[1];
  const fs::path file = tree.path() / fs::u8path(relative);
  std::error_code error;
  if (!fs::is_regular_file(file, error)) {
    response.status = 404;
    response.set_content("Not found: " + relative, "text/plain");
    return;
  }
  switch (answer) {
    case TreeAnswer::Plain:
      return response.set_content(tree.Read(relative), "application/octet-stream");
    case TreeAnswer::Slowly:
      return ServeSlowly(tree.Read(relative), response);
    case TreeAnswer::IgnoringRange:
      return ServeIgnoringRange(tree.Read(relative), response);
  }
}

}  // namespace

class LoopbackServer::Impl {
 public:
  Impl() {
    Route();
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
    // The socket listens from bind on: requests queue until the thread accepts them.
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() does nothing until the loop runs: a server destroyed sooner would never end.
    while (!server_.is_running())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Impl() {
    server_.stop();
    thread_.join();
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
  }
  const TempDir& tree() const { return tree_; }

 private:
  void Route() {
    server_.Get(R"(/tree/(.*))",
                [this](const httplib::Request& request, httplib::Response& response) {
                  ServeTree(tree_, request, response, TreeAnswer::Plain);
                });
    server_.Get(R"(/slowtree/(.*))",
                [this](const httplib::Request& request, httplib::Response& response) {
                  ServeTree(tree_, request, response, TreeAnswer::Slowly);
                });
    server_.Get(R"(/wholetree/(.*))",
                [this](const httplib::Request& request, httplib::Response& response) {
                  ServeTree(tree_, request, response, TreeAnswer::IgnoringRange);
                });
    server_.Get(
        R"(/status/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
          response.status = std::stoi(request.matches[1]);
          response.set_content("error page " + std::string(request.matches[1]), "text/html");
        });
    server_.Get("/empty", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("", "application/octet-stream");
    });
    server_.Get(R"(/bytes/(\d+))", [](const httplib::Request& request,
                                      httplib::Response& response) {
      response.set_content(Pattern(std::stoull(request.matches[1])), "application/octet-stream");
    });
    server_.Get(R"(/slow/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
      ServeSlow(std::stoull(request.matches[1]), response);
    });
    server_.Get(R"(/cut/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
      const std::size_t size = std::stoull(request.matches[1]);
      response.set_content_provider(
          size, "application/octet-stream",
          [size](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset > 0) return false;  // the rest never comes: the connection is dropped
            const std::string half = Pattern(size / 2);
            return sink.write(half.data(), half.size());
          });
    });
    server_.Get(R"(/endless/.*)", [](const httplib::Request&, httplib::Response& response) {
      ServeEndlessly(response);
    });
    server_.Get(R"(/endlessfiles/(.*))",
                [this](const httplib::Request& request, httplib::Response& response) {
                  if (std::string(request.matches[1]).rfind("files/", 0) == 0) {
                    ServeEndlessly(response);
                  } else {
                    ServeTree(tree_, request, response, TreeAnswer::Plain);
                  }
                });
    server_.Get(R"(/echo/.*)", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(request.target, "text/plain");
    });
    server_.Get("/headers", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(request.get_header_value("User-Agent") + "\n" +
                               request.get_header_value("Cache-Control") + "\n",
                           "text/plain");
    });
  }

  TempDir tree_{"velmora served tree"};
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

LoopbackServer::LoopbackServer() : impl_(std::make_unique<Impl>()) {}
LoopbackServer::~LoopbackServer() = default;

std::string LoopbackServer::Url(const std::string& path) const {
  return impl_->Url(path);
}
std::string LoopbackServer::TreeUrl() const {
  return impl_->Url("tree/");
}
std::string LoopbackServer::SlowTreeUrl() const {
  return impl_->Url("slowtree/");
}
std::string LoopbackServer::EndlessFilesUrl() const {
  return impl_->Url("endlessfiles/");
}
std::string LoopbackServer::WholeTreeUrl() const {
  return impl_->Url("wholetree/");
}
void LoopbackServer::Publish(const std::string& name, const std::string& content) const {
  impl_->tree().Write(name, content);
}
void LoopbackServer::Withdraw(const std::string& name) const {
  std::error_code ignored;
  fs::remove(impl_->tree().path() / fs::u8path(name), ignored);
}

namespace {

// loopback_server.py in a folder of its own, from first use to the end of the program.
class ScriptedServer {
 public:
  ScriptedServer() : folder_("velmora scripted server") {
    if (Run("start") != 0) throw std::runtime_error("loopback_server.py did not start");
    std::ifstream address(folder_.path() / "server" / "address");
    if (!(address >> port_)) throw std::runtime_error("loopback_server.py wrote no address");
  }
  ~ScriptedServer() { Run("stop"); }
  int port() const { return port_; }

 private:
  int Run(const std::string& command) const {
    const std::string line = "python3 '" VELMORA_LOOPBACK_SERVER_PY "' " + command + " '" +
                             (folder_.path() / "server").string() + "'";
    return std::system(line.c_str());
  }
  TempDir folder_;
  int port_ = 0;
};

}  // namespace

std::string ScriptedServerUrl(const std::string& path) {
  static const ScriptedServer server;
  return "http://127.0.0.1:" + std::to_string(server.port()) + "/" + path;
}

std::string UnusedPortUrl(const std::string& path) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("cannot find a free loopback port");
  }
  close(fd);  // bound but never listening: nobody answers there now
  return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/" + path;
}

}  // namespace testing_support
