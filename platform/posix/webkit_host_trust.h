// Lets a WebKitGTK view load one host over HTTPS when that host's certificate chains to an
// authority of a PEM file. WebKitGTK trusts the system's store only and cannot be given
// authorities of its own; it can only be told to accept one certificate for one host
// (webkit_web_context_allow_tls_certificate_for_host).
//
// So the host is asked for its certificate once, with GIO, from the loop: the handshake verifies
// the chain against the file's authorities and the host's name, and only a certificate that
// passes is handed to WebKit, for that host alone. Navigations to the host wait for the answer
// (at most kDeadlineSeconds), so that even the first one sees it; nothing else waits. The outcome
// is logged in one line, function field "WebWindow".
#pragma once

#include <webkit2/webkit2.h>

#include <memory>
#include <string>

namespace platform {

class HostTrust {
 public:
  static constexpr unsigned kDeadlineSeconds = 15;

  // Starts the check of the host of `address` (an https address) for `context`. Null when there
  // is nothing to check (another scheme) or the check cannot start (the authorities cannot be
  // read, the address has no host; logged).
  static std::unique_ptr<HostTrust> Start(WebKitWebContext* context, const std::string& address,
                                          const std::string& authorities);
  // Stops a check still running; navigations waiting for it go ahead.
  ~HostTrust();
  HostTrust(const HostTrust&) = delete;
  HostTrust& operator=(const HostTrust&) = delete;

  // True when `decision`, a navigation to `uri`, has to wait for the check: it is kept and let
  // go ahead (used) once the check has ended, whatever its outcome.
  bool Hold(WebKitPolicyDecision* decision, const std::string& uri);

  struct Check;

 private:
  explicit HostTrust(std::shared_ptr<Check> check);
  std::shared_ptr<Check> check_;
};

}  // namespace platform
