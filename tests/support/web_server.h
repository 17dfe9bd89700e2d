// The project's nginx (scripts/web-server.sh) serving a patch tree over HTTPS on loopback ports
// of its own, as a child of the test, for as long as the object lives (Linux).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

class ChildProcess;

// One request as nginx logged it.
struct ServedRequest {
  std::uint64_t connection = 0;  // nginx's number of the connection that carried it
  int port = 0;
  std::string protocol;  // "HTTP/1.1", "HTTP/2.0"
  std::string uri;       // as requested, still escaped
  int status = 0;
  std::uint64_t bodyBytes = 0;
  std::string range;  // the Range header, "-" when none
};

// The certificate a port of the server shows.
enum class ServerCertificate {
  Valid,      // localhost and 127.0.0.1, from the test authority the tests trust
  WrongHost,  // another host name, same authority
  Expired,    // expired in 2021, same authority
  Stranger,   // localhost, from an authority nobody trusts
};

struct WebServerOptions {
  bool certificateCases = false;  // also serve the tree behind the other certificates
  int port = 0;                   // the port of the valid certificate; 0 takes a free one
  std::string limitRate;          // each answer at most this fast (nginx's "64m"); "" for no limit
};

class WebServer {
 public:
  // Serves `tree` (the publisher's output) at BaseUrl(); with `certificateCases`, also behind the
  // other certificates. Returns once every port answers; throws when nginx does not start.
  explicit WebServer(const std::filesystem::path& tree, bool certificateCases = false);
  WebServer(const std::filesystem::path& tree, const WebServerOptions& options);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // "https://localhost:<port>/patch/" for the port showing `certificate`.
  std::string BaseUrl(ServerCertificate certificate = ServerCertificate::Valid) const;
  int Port(ServerCertificate certificate = ServerCertificate::Valid) const;

  // Every request answered so far, in order.
  std::vector<ServedRequest> Requests() const;
  // How many connections carried the requests answered so far.
  std::size_t Connections() const;

 private:
  std::filesystem::path run_;
  std::vector<int> ports_;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace testing_support
