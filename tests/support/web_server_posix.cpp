#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/launcher/support/child_process.h"
#include "tests/support/web_server.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

// A loopback port nobody uses now (bound, read and released; nginx takes it right after).
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  const bool found = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                     getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
  if (fd >= 0) close(fd);
  if (!found) throw std::runtime_error("cannot find a free loopback port");
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool connected =
      fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  if (fd >= 0) close(fd);
  return connected;
}

// A run folder below the system's temporary folder, removed with the server.
fs::path MakeRunFolder() {
  std::string pattern = (fs::temp_directory_path() / "velmora-nginx-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a run folder");
  return pattern;
}

}  // namespace

namespace {

WebServerOptions WithCertificateCases(bool certificateCases) {
  WebServerOptions options;
  options.certificateCases = certificateCases;
  return options;
}

}  // namespace

WebServer::WebServer(const fs::path& tree, bool certificateCases)
    : WebServer(tree, WithCertificateCases(certificateCases)) {}

WebServer::WebServer(const fs::path& tree, const WebServerOptions& options)
    : run_(MakeRunFolder()) {
  const bool certificateCases = options.certificateCases;
  const int count = certificateCases ? 4 : 1;
  for (int i = 0; i < count; ++i)
    ports_.push_back(i == 0 && options.port != 0 ? options.port : FreePort());
  std::vector<std::string> argv{VELMORA_SOURCE_DIR "/scripts/web-server.sh",
                                "--run",
                                run_.string(),
                                "--tree",
                                tree.string(),
                                "--port",
                                std::to_string(ports_[0]),
                                "--certificates",
                                VELMORA_TEST_CA_DIR};
  if (certificateCases) {
    argv.push_back("--certificate-cases");
    for (int i = 1; i < count; ++i)
      argv.push_back(std::to_string(ports_[i]));
  }
  if (!options.limitRate.empty()) {
    argv.push_back("--limit-rate");
    argv.push_back(options.limitRate);
  }
  process_ = std::make_unique<ChildProcess>(argv);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (const int port : ports_) {
    while (!Accepts(port)) {
      if (!process_->Running() || std::chrono::steady_clock::now() > deadline) {
        const std::string output = process_->Output();
        process_.reset();
        fs::remove_all(run_);
        throw std::runtime_error("nginx did not start: " + output);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

WebServer::~WebServer() {
  process_.reset();
  std::error_code ignored;
  fs::remove_all(run_, ignored);
}

int WebServer::Port(ServerCertificate certificate) const {
  return ports_.at(static_cast<std::size_t>(certificate));
}

std::string WebServer::BaseUrl(ServerCertificate certificate) const {
  return "https://localhost:" + std::to_string(Port(certificate)) + "/patch/";
}

std::vector<ServedRequest> WebServer::Requests() const {
  std::vector<ServedRequest> requests;
  std::ifstream log(run_ / "access.log");
  std::string line;
  while (std::getline(log, line)) {
    // "<connection> <n> <port> <protocol> <method> <uri> <status> <bytes> range="<range>""
    std::istringstream fields(line);
    ServedRequest request;
    std::string requestNumber, method, range;
    fields >> request.connection >> requestNumber >> request.port >> request.protocol >> method >>
        request.uri >> request.status >> request.bodyBytes >> range;
    if (range.size() >= 8) request.range = range.substr(7, range.size() - 8);
    requests.push_back(request);
  }
  return requests;
}

std::size_t WebServer::Connections() const {
  std::set<std::uint64_t> connections;
  for (const ServedRequest& request : Requests())
    connections.insert(request.connection);
  return connections.size();
}

}  // namespace testing_support
