// One HTTP(S) GET from the patch server. The request is opened, the status handed over, then the
// body in pieces as it arrives; the caller decides what to keep and when to stop. Windows uses
// WinINet (the system's proxy settings), Linux libcurl (proxy from the usual environment
// variables); both send the agent "Velmora Launcher", bypass every cache, and verify TLS peers:
// against the system's store, or on Linux against build_config::kCaBundle when a build names one.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace platform {

inline constexpr std::size_t kHttpChunkSize = 8192;

struct HttpReceiver {
  // The response's HTTP status, before any body piece (0 when the protocol has none). Returning
  // false stops the transfer.
  std::function<bool(long status)> onStatus;
  // One piece of the body, at most kHttpChunkSize bytes. Returning false stops the transfer.
  std::function<bool(const char* data, std::size_t size)> onChunk;
};

enum class HttpStep {
  None,     // the transfer ran to its end or the receiver stopped it
  Open,     // the client could not be set up (InternetOpen)
  OpenUrl,  // the request could not be made: bad URL, no connection, TLS failure (InternetOpenUrl)
  Read,     // the body broke off after the request was answered (InternetReadFile)
};

// Failures the caller reports with a line of their own, beyond the step and the code.
enum class HttpProblem {
  None,
  Certificate,  // the server's certificate was refused: other host, expired, unknown authority
};

struct HttpOutcome {
  HttpStep failedStep = HttpStep::None;
  // GetLastError on Windows (12029 for a closed port), the CURLcode on Linux (7).
  unsigned long errorCode = 0;
  bool stoppedByReceiver = false;
  HttpProblem problem = HttpProblem::None;
  // The client's own words for the failure, when it has any ("SSL certificate problem: ...").
  std::string detail;
};

inline HttpOutcome HttpFailure(HttpStep step, unsigned long errorCode) {
  HttpOutcome outcome;
  outcome.failedStep = step;
  outcome.errorCode = errorCode;
  return outcome;
}

inline HttpOutcome HttpStoppedByReceiver() {
  HttpOutcome outcome;
  outcome.stoppedByReceiver = true;
  return outcome;
}

// `url` must already be escaped (no spaces or bytes outside ASCII). Blocks until the transfer
// ends; a read already waiting for data is not interrupted.
HttpOutcome HttpGet(const std::string& url, const HttpReceiver& receiver);

}  // namespace platform
