// A frame of the launcher's page on WebKitGTK loads an Info page served over HTTPS by the project's
// nginx with a certificate of the test authority once the window trusts that authority for the
// page's https address, and only then; certificates the authority did not issue for that host, or
// that have expired, stay refused (on other ports of the same host, after the good one was
// accepted), and an address of another scheme trusts nothing. A frame that starts loading before
// the check has its answer waits for it.
//
// What a window accepts, WebKit's shared context keeps for the whole process: the rows run in
// order, each in a window of its own, and only the "valid" row may accept the valid certificate.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/build_config.h"
#include "platform/web_window.h"
#include "tests/launcher/support/log_lines.h"
#include "tests/launcher/support/xvfb_display.h"
#include "tests/support/temp_dir.h"
#include "tests/support/web_server.h"
#include "tests/web_window/webkit_page.h"

namespace {

using testing::Contains;
using testing::HasSubstr;
using testing::Not;
using testing_support::ServerCertificate;
using namespace std::chrono_literals;

// How WebKit's load of one address in the window ended, from the view's resource signals:
// "loaded <HTTP status>", "TLS errors" or "failed: <message>".
class ResourceWatch {
 public:
  ResourceWatch(platform::NativeWindow window, std::string address)
      : view_(WEBKIT_WEB_VIEW(gtk_bin_get_child(GTK_BIN(window)))), address_(std::move(address)) {
    g_signal_connect(view_, "resource-load-started", G_CALLBACK(OnStarted), this);
  }
  ~ResourceWatch() {
    g_signal_handlers_disconnect_by_data(view_, this);
    for (WebKitWebResource* resource : resources_) {
      g_signal_handlers_disconnect_by_data(resource, this);
      g_object_unref(resource);
    }
  }
  ResourceWatch(const ResourceWatch&) = delete;
  ResourceWatch& operator=(const ResourceWatch&) = delete;

  const std::optional<std::string>& outcome() const { return outcome_; }

 private:
  static void OnStarted(WebKitWebView*, WebKitWebResource* resource, WebKitURIRequest*,
                        gpointer data) {
    auto* self = static_cast<ResourceWatch*>(data);
    if (self->address_ != webkit_web_resource_get_uri(resource)) return;
    self->resources_.push_back(WEBKIT_WEB_RESOURCE(g_object_ref(resource)));
    g_signal_connect(resource, "finished", G_CALLBACK(OnFinished), self);
    g_signal_connect(resource, "failed-with-tls-errors", G_CALLBACK(OnTlsErrors), self);
    g_signal_connect(resource, "failed", G_CALLBACK(OnFailed), self);
  }
  static void OnFinished(WebKitWebResource* resource, gpointer data) {
    WebKitURIResponse* response = webkit_web_resource_get_response(resource);
    static_cast<ResourceWatch*>(data)->Settle(
        "loaded " +
        std::to_string(response != nullptr ? webkit_uri_response_get_status_code(response) : 0));
  }
  static void OnTlsErrors(WebKitWebResource*, GTlsCertificate*, GTlsCertificateFlags,
                          gpointer data) {
    static_cast<ResourceWatch*>(data)->Settle("TLS errors");
  }
  static void OnFailed(WebKitWebResource*, GError* error, gpointer data) {
    static_cast<ResourceWatch*>(data)->Settle(std::string("failed: ") + error->message);
  }
  void Settle(const std::string& outcome) {
    if (!outcome_) outcome_ = outcome;  // a refused certificate is also reported as a failure
  }

  WebKitWebView* view_;
  std::string address_;
  std::vector<WebKitWebResource*> resources_;
  std::optional<std::string> outcome_;
};

// A TCP relay on 127.0.0.1 to a port of the same address whose first connection passes nothing on
// for `firstDelay`; the later ones pass at once. The window's check connects first, so it answers
// late while the frame's own connection would not.
class LateFirstRelay {
 public:
  LateFirstRelay(int target, std::chrono::milliseconds firstDelay)
      : target_(target), firstDelay_(firstDelay), listener_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      throw std::runtime_error("the relay cannot listen");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
  }
  ~LateFirstRelay() {
    shutdown(listener_, SHUT_RDWR);  // accept() returns
    acceptor_.join();
    for (int socket : sockets_)
      shutdown(socket, SHUT_RDWR);
    for (std::thread& pipe : pipes_)
      pipe.join();
    for (int socket : sockets_)
      close(socket);
    close(listener_);
  }
  LateFirstRelay(const LateFirstRelay&) = delete;
  LateFirstRelay& operator=(const LateFirstRelay&) = delete;

  int port() const { return port_; }

 private:
  static sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
  }
  static void Pass(int from, int to, std::chrono::milliseconds delay) {
    std::this_thread::sleep_for(delay);
    char buffer[16384];
    ssize_t got = 0;
    while ((got = recv(from, buffer, sizeof buffer, 0)) > 0) {
      if (send(to, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL) != got) break;
    }
    shutdown(to, SHUT_WR);
  }
  void Accept() {
    // The destructor reads sockets_ and pipes_ only once this thread has ended.
    for (bool first = true;; first = false) {
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      const int server = socket(AF_INET, SOCK_STREAM, 0);
      const sockaddr_in address = Loopback(target_);
      sockets_.insert(sockets_.end(), {client, server});
      if (connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        shutdown(client, SHUT_RDWR);
        continue;
      }
      const std::chrono::milliseconds delay = first ? firstDelay_ : 0ms;
      pipes_.emplace_back([=] { Pass(client, server, delay); });
      pipes_.emplace_back([=] { Pass(server, client, delay); });
    }
  }

  int target_;
  std::chrono::milliseconds firstDelay_;
  int listener_;
  int port_ = 0;
  std::thread acceptor_;
  std::vector<int> sockets_;
  std::vector<std::thread> pipes_;
};

// How many times nginx answered `path` on `port`.
std::size_t Served(const testing_support::WebServer& server, int port, const std::string& path) {
  const std::vector<testing_support::ServedRequest> requests = server.Requests();
  return static_cast<std::size_t>(std::count_if(
      requests.begin(), requests.end(),
      [&](const auto& request) { return request.port == port && request.uri == path; }));
}

// Shows a launcher page whose only content is a frame of `address`, the window trusting the test
// authority for `trustedAddress` (nothing when empty), until WebKit has loaded or refused the
// frame's document.
std::optional<std::string> LoadInFrame(const std::string& address,
                                       const std::string& trustedAddress) {
  std::string error;
  auto window = platform::WebWindow::Create(false, error);
  EXPECT_TRUE(window) << error;
  if (!window) return std::nullopt;
  window->SetSize(800, 600, platform::SizeHint::Fixed);
  gtk_widget_show_all(GTK_WIDGET(window->Window()));
  const ResourceWatch watch(window->Window(), address);  // ends before the window's view
  if (!trustedAddress.empty()) window->TrustAuthorityFor(trustedAddress, build_config::kCaBundle);
  window->SetHtml(
      "<!DOCTYPE html><html><head><title>launcher page</title></head><body>"
      "<iframe id=\"infoFrame\" src=\"" +
      address + "\" width=\"700\" height=\"500\"></iframe></body></html>");
  testing_support::IterateUntil([&] { return watch.outcome().has_value(); }, 40s);
  return watch.outcome();
}

TEST(WebKitHostTrust, TheInfoFrameLoadsOverHttpsOnlyWithACertificateOfTheTrustedAuthority) {
  testing_support::SharedDisplay();
  const testing_support::TempDir tree("velmora-tree");
  const testing_support::WebServer server(tree.path(), true);
  testing_support::LogCapture log;
  log.Start();
  const std::string authorities = build_config::kCaBundle;
  ASSERT_FALSE(authorities.empty()) << "test programs are built with the test authority";

  const LateFirstRelay lateRelay(server.Port(ServerCertificate::Valid), 1500ms);

  const struct {
    const char* name;
    ServerCertificate certificate;
    const char* trustedScheme;  // the window trusts the test authority for the frame's address
                                // with this scheme; null: it is not told
    bool late;  // the frame's address is 127.0.0.1 behind lateRelay instead of localhost
    bool loads;
    std::string logged;  // the line about the check, after "<host>:<port>"; empty: none
  } cases[] = {
      // WebKit alone trusts the system's store only.
      {"not told", ServerCertificate::Valid, nullptr, false, false, ""},
      {"told for http", ServerCertificate::Valid, "http", false, false, ""},
      {"valid", ServerCertificate::Valid, "https", false, true,
       " (issued by O=Velmora tests,CN=Velmora Test Authority): it chains to " + authorities},
      {"valid, the check answered late", ServerCertificate::Valid, "https", true, true,
       " (issued by O=Velmora tests,CN=Velmora Test Authority): it chains to " + authorities},
      {"another authority", ServerCertificate::Stranger, "https", false, false,
       ": unknown authority (authorities in " + authorities + ")"},
      {"expired", ServerCertificate::Expired, "https", false, false,
       ": expired (authorities in " + authorities + ")"},
      {"another host", ServerCertificate::WrongHost, "https", false, false,
       ": not for this host (authorities in " + authorities + ")"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const int port = server.Port(test.certificate);
    const std::string hostAndPort = test.late ? "127.0.0.1:" + std::to_string(lateRelay.port())
                                              : "localhost:" + std::to_string(port);
    const std::size_t servedBefore = Served(server, port, "/mini/");
    testing_support::LinesUntilNow(log);  // the row's lines are those that come after

    const std::optional<std::string> outcome =
        LoadInFrame("https://" + hostAndPort + "/mini/",
                    test.trustedScheme != nullptr
                        ? std::string(test.trustedScheme) + "://" + hostAndPort + "/mini/"
                        : "");

    ASSERT_TRUE(outcome.has_value()) << "the frame's load neither ended nor failed";
    if (test.loads) {
      EXPECT_EQ(*outcome, "loaded 200");
      EXPECT_EQ(Served(server, port, "/mini/"), servedBefore + 1) << "the first load must succeed";
    } else {
      EXPECT_EQ(*outcome, "TLS errors");
      EXPECT_EQ(Served(server, port, "/mini/"), servedBefore) << "a request was sent";
    }
    const std::vector<std::string> lines = testing_support::LinesUntilNow(log);
    if (test.logged.empty()) {
      EXPECT_THAT(lines, Not(Contains(HasSubstr("certificate")))) << testing::PrintToString(lines);
    } else {
      const std::string level = test.loads ? "I|WebWindow: Trusting" : "E|WebWindow: Not trusting";
      EXPECT_THAT(lines, Contains(level + " the certificate of " + hostAndPort + test.logged));
    }
  }
}

}  // namespace
