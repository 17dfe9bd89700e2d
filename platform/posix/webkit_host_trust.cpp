#include "platform/posix/webkit_host_trust.h"

#include <gio/gio.h>

#include <string_view>
#include <utility>
#include <vector>

#include "log/log.h"

namespace platform {

namespace {

constexpr char kLogName[] = "WebWindow";
// Each step of the connection (resolving, connecting, the handshake) may take this long.
constexpr guint kStepTimeoutSeconds = 10;

std::string OwnedText(char* text) {
  std::string result = text != nullptr ? text : "";
  g_free(text);
  return result;
}

// What GIO found wrong with a certificate, in words.
std::string DescribeProblems(GTlsCertificateFlags problems) {
  static constexpr struct {
    GTlsCertificateFlags flag;
    const char* text;
  } kProblems[] = {
      {G_TLS_CERTIFICATE_UNKNOWN_CA, "unknown authority"},
      {G_TLS_CERTIFICATE_BAD_IDENTITY, "not for this host"},
      {G_TLS_CERTIFICATE_NOT_ACTIVATED, "not valid yet"},
      {G_TLS_CERTIFICATE_EXPIRED, "expired"},
      {G_TLS_CERTIFICATE_REVOKED, "revoked"},
      {G_TLS_CERTIFICATE_INSECURE, "insecure algorithm"},
      {G_TLS_CERTIFICATE_GENERIC_ERROR, "cannot be verified"},
  };
  std::string text;
  for (const auto& problem : kProblems) {
    if ((problems & problem.flag) == 0) continue;
    if (!text.empty()) text += ", ";
    text += problem.text;
  }
  return text.empty() ? "cannot be verified" : text;
}

// The host of an https `uri` in lower case, empty for any other address.
std::string HttpsHost(const std::string& uri) {
  gchar* scheme = nullptr;
  gchar* host = nullptr;
  if (!g_uri_split_network(uri.c_str(), G_URI_FLAGS_NONE, &scheme, &host, nullptr, nullptr)) {
    return "";
  }
  const bool https = g_ascii_strcasecmp(OwnedText(scheme).c_str(), "https") == 0;
  const std::string name = OwnedText(host);
  return https ? OwnedText(g_ascii_strdown(name.c_str(), -1)) : "";
}

// The host as WebKit compares it with the host of its requests: an IPv6 address in brackets.
std::string WebKitHostName(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

}  // namespace

struct HostTrust::Check {
  Check(WebKitWebContext* webContext, GTlsDatabase* database, GSocketConnectable* address,
        std::string fileName)
      : context(WEBKIT_WEB_CONTEXT(g_object_ref(webContext))),
        authorities(database),
        server(address),
        authorityFile(std::move(fileName)) {
    GNetworkAddress* network = G_NETWORK_ADDRESS(server);
    host = OwnedText(g_ascii_strdown(g_network_address_get_hostname(network), -1));
    name = std::string(g_network_address_get_hostname(network)) + ":" +
           std::to_string(g_network_address_get_port(network));
  }
  ~Check() {
    LetWaitingGo();
    if (deadline != 0) g_source_remove(deadline);
    g_object_unref(cancellable);
    g_object_unref(server);
    g_object_unref(authorities);
    g_object_unref(context);
  }
  Check(const Check&) = delete;
  Check& operator=(const Check&) = delete;

  void Connect(std::shared_ptr<Check> self);
  static void OnClientEvent(GSocketClient*, GSocketClientEvent event, GSocketConnectable*,
                            GIOStream* connection, gpointer check);
  static gboolean OnRefusedCertificate(GTlsConnection*, GTlsCertificate*,
                                       GTlsCertificateFlags problems, gpointer check);
  static void OnConnected(GObject* client, GAsyncResult* result, gpointer share);
  static gboolean OnDeadline(gpointer check);
  void Conclude(GTlsConnection* connection);
  void ConcludeFailure(const GError* error);
  void End();
  void LetWaitingGo();

  WebKitWebContext* context;
  GTlsDatabase* authorities;
  GSocketConnectable* server;
  GCancellable* cancellable = g_cancellable_new();
  std::string authorityFile;
  std::string host;  // lower case, as the navigations are compared with it
  std::string name;  // host:port, for the log
  std::vector<WebKitPolicyDecision*> waiting;
  GTlsCertificateFlags refusedFor = G_TLS_CERTIFICATE_NO_FLAGS;  // what the handshake saw
  guint deadline = 0;                                            // the timeout source, 0 when none
  bool timedOut = false;
  bool ended = false;
};

void HostTrust::Check::Connect(std::shared_ptr<Check> self) {
  GSocketClient* client = g_socket_client_new();
  g_socket_client_set_tls(client, TRUE);
  g_socket_client_set_timeout(client, kStepTimeoutSeconds);
  // The signal handlers need no share of their own: they run within the connection attempt,
  // whose callback holds one.
  g_signal_connect(client, "event", G_CALLBACK(OnClientEvent), this);
  deadline = g_timeout_add_seconds(kDeadlineSeconds, OnDeadline, this);
  g_socket_client_connect_async(client, server, cancellable, OnConnected,
                                new std::shared_ptr<Check>(std::move(self)));
  g_object_unref(client);  // the attempt holds its own reference
}

void HostTrust::Check::OnClientEvent(GSocketClient*, GSocketClientEvent event, GSocketConnectable*,
                                     GIOStream* connection, gpointer data) {
  if (event != G_SOCKET_CLIENT_TLS_HANDSHAKING) return;
  // The handshake verifies the peer against these authorities alone, and its name against the
  // server's (the connectable the client was given).
  auto* check = static_cast<Check*>(data);
  g_tls_connection_set_database(G_TLS_CONNECTION(connection), check->authorities);
  g_signal_connect(connection, "accept-certificate", G_CALLBACK(OnRefusedCertificate), check);
}

gboolean HostTrust::Check::OnRefusedCertificate(GTlsConnection*, GTlsCertificate*,
                                                GTlsCertificateFlags problems, gpointer data) {
  static_cast<Check*>(data)->refusedFor = problems;
  return FALSE;  // refused: the handshake fails
}

void HostTrust::Check::OnConnected(GObject* client, GAsyncResult* result, gpointer data) {
  const std::unique_ptr<std::shared_ptr<Check>> share(static_cast<std::shared_ptr<Check>*>(data));
  Check& check = **share;
  GError* error = nullptr;
  GSocketConnection* connection =
      g_socket_client_connect_finish(G_SOCKET_CLIENT(client), result, &error);
  if (connection == nullptr) {
    check.ConcludeFailure(error);
    g_error_free(error);
  } else {
    GIOStream* stream =
        G_IS_TCP_WRAPPER_CONNECTION(connection)
            ? g_tcp_wrapper_connection_get_base_io_stream(G_TCP_WRAPPER_CONNECTION(connection))
            : G_IO_STREAM(connection);
    check.Conclude(G_IS_TLS_CONNECTION(stream) ? G_TLS_CONNECTION(stream) : nullptr);
    g_object_unref(connection);
  }
  check.End();
}

gboolean HostTrust::Check::OnDeadline(gpointer data) {
  auto* check = static_cast<Check*>(data);
  check->deadline = 0;
  check->timedOut = true;
  g_cancellable_cancel(check->cancellable);
  return G_SOURCE_REMOVE;
}

void HostTrust::Check::Conclude(GTlsConnection* connection) {
  GTlsCertificate* peer =
      connection != nullptr ? g_tls_connection_get_peer_certificate(connection) : nullptr;
  if (peer == nullptr) {
    LogErrorAs(kLogName, "Could not check the certificate of %s: no certificate", name.c_str());
    return;
  }
  // The handshake has verified the chain already; the decision to trust is taken on this
  // verification alone, whatever the connection's own settings were.
  GError* error = nullptr;
  const GTlsCertificateFlags problems =
      g_tls_database_verify_chain(authorities, peer, G_TLS_DATABASE_PURPOSE_AUTHENTICATE_SERVER,
                                  server, nullptr, G_TLS_DATABASE_VERIFY_NONE, nullptr, &error);
  if (error != nullptr) {
    LogErrorAs(kLogName, "Could not check the certificate of %s: %s", name.c_str(), error->message);
    g_error_free(error);
    return;
  }
  if (problems != G_TLS_CERTIFICATE_NO_FLAGS) {
    LogErrorAs(kLogName, "Not trusting the certificate of %s: %s (authorities in %s)", name.c_str(),
               DescribeProblems(problems).c_str(), authorityFile.c_str());
    return;
  }
  webkit_web_context_allow_tls_certificate_for_host(context, peer, WebKitHostName(host).c_str());
  const std::string issuer = OwnedText(g_tls_certificate_get_issuer_name(peer));
  LogInfoAs(kLogName, "Trusting the certificate of %s (issued by %s): it chains to %s",
            name.c_str(), issuer.c_str(), authorityFile.c_str());
}

void HostTrust::Check::ConcludeFailure(const GError* error) {
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    // Cancelled by the deadline, or because the window went and nobody waits for the answer.
    if (timedOut) {
      LogErrorAs(kLogName, "Could not check the certificate of %s: no answer within %u s",
                 name.c_str(), kDeadlineSeconds);
    }
  } else if (g_error_matches(error, G_TLS_ERROR, G_TLS_ERROR_BAD_CERTIFICATE) &&
             refusedFor != G_TLS_CERTIFICATE_NO_FLAGS) {
    LogErrorAs(kLogName, "Not trusting the certificate of %s: %s (authorities in %s)", name.c_str(),
               DescribeProblems(refusedFor).c_str(), authorityFile.c_str());
  } else {
    LogErrorAs(kLogName, "Could not check the certificate of %s: %s", name.c_str(), error->message);
  }
}

void HostTrust::Check::End() {
  ended = true;
  if (deadline != 0) {
    g_source_remove(deadline);
    deadline = 0;
  }
  LetWaitingGo();
}

void HostTrust::Check::LetWaitingGo() {
  std::vector<WebKitPolicyDecision*> decisions = std::exchange(waiting, {});
  for (WebKitPolicyDecision* decision : decisions) {
    webkit_policy_decision_use(decision);
    g_object_unref(decision);
  }
}

HostTrust::HostTrust(std::shared_ptr<Check> check) : check_(std::move(check)) {}

HostTrust::~HostTrust() {
  g_cancellable_cancel(check_->cancellable);
  check_->End();
}

std::unique_ptr<HostTrust> HostTrust::Start(WebKitWebContext* context, const std::string& address,
                                            const std::string& authorities) {
  const char* scheme = g_uri_peek_scheme(address.c_str());  // lower case
  if (scheme == nullptr || std::string_view(scheme) != "https") return nullptr;
  GError* error = nullptr;
  GTlsDatabase* database = g_tls_file_database_new(authorities.c_str(), &error);
  if (database == nullptr) {
    LogErrorAs(kLogName, "Cannot read the certificate authorities in %s: %s", authorities.c_str(),
               error->message);
    g_error_free(error);
    return nullptr;
  }
  GSocketConnectable* server = g_network_address_parse_uri(address.c_str(), 443, &error);
  if (server == nullptr) {
    LogErrorAs(kLogName, "Could not check the certificate of %s: %s", address.c_str(),
               error->message);
    g_error_free(error);
    g_object_unref(database);
    return nullptr;
  }
  auto check = std::make_shared<Check>(context, database, server, authorities);
  check->Connect(check);
  return std::unique_ptr<HostTrust>(new HostTrust(std::move(check)));
}

bool HostTrust::Hold(WebKitPolicyDecision* decision, const std::string& uri) {
  if (check_->ended || HttpsHost(uri) != check_->host) return false;
  check_->waiting.push_back(WEBKIT_POLICY_DECISION(g_object_ref(decision)));
  return true;
}

}  // namespace platform
