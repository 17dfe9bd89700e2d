// One HTTP(S) GET from the patch server. The request is opened, the status handed over, then the
// body in pieces as it arrives; the caller decides what to keep and when to stop. Requests are
// made one at a time per thread; while the thread holds an HttpConnectionScope they share their
// connection to the server (and its TLS session), so a worker's pass opens one connection, not
// one per file. Windows uses WinINet (the system's proxy settings), Linux libcurl (proxy from the
// usual environment variables); both send the agent "Velmora Launcher", bypass every cache, and
// verify TLS peers: against the system's store, or on Linux against build_config::kCaBundle when
// a build names one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

inline constexpr std::size_t kHttpChunkSize = 8192;

// A raised cancel flag ends a transfer within kHttpCancelMilliseconds once it has been up for
// kHttpCancelGraceMilliseconds, also while the transfer waits for the server. Within the grace a
// piece of the body that arrives still reaches the receiver (which then stops the transfer).
inline constexpr int kHttpCancelMilliseconds = 100;
inline constexpr int kHttpCancelGraceMilliseconds = 300;

// Keeps the calling thread's connections open from one request to the next until it is
// destroyed; a worker holds one for its whole pass. Without one, each request has connections of
// its own. Scopes nest; the outermost one owns the connections.
class HttpConnectionScope {
 public:
  HttpConnectionScope();
  ~HttpConnectionScope();
  HttpConnectionScope(const HttpConnectionScope&) = delete;
  HttpConnectionScope& operator=(const HttpConnectionScope&) = delete;

 private:
  bool owner_ = false;
};

// Limits of every transfer: redirects followed, time to each response's headers, and how long
// the body may stall before the transfer counts as broken off. A body that moves slower than
// kHttpStallBytesPerSecond has stalled: a server that drips a byte now and then holds the
// transfer no longer than one that sends nothing.
inline constexpr int kHttpMaxRedirects = 5;
inline constexpr int kHttpHeaderSeconds = 30;
inline constexpr int kHttpStallSeconds = 120;
inline constexpr int kHttpStallBytesPerSecond = 100;

struct HttpOptions {
  // Read by the transfer while it runs; once raised, the transfer ends (outcome.cancelled).
  const std::atomic<bool>* cancel = nullptr;
  // The time each response's headers may take (tests shorten it).
  int headerSeconds = kHttpHeaderSeconds;
  // How long the body may stall (tests shorten it).
  int stallSeconds = kHttpStallSeconds;
  // Asks only for the body from this byte on ("Range: bytes=<n>-"); 0 asks for all of it. The
  // server may answer 206 with that part (its Content-Range says which), 200 with the whole body
  // or 416 when it has no such byte.
  std::uint64_t rangeStart = 0;
};

// What the final response says before its body.
struct HttpAnswer {
  long status = 0;           // the HTTP status (0 when the protocol has none)
  std::string contentRange;  // its Content-Range header, "" when it has none
};

struct HttpReceiver {
  // The response's status line and headers, before any body piece. Returning false stops the
  // transfer.
  std::function<bool(const HttpAnswer& answer)> onAnswer;
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
  Certificate,       // the server's certificate was refused: other host, expired, unknown authority
  TooManyRedirects,  // more than kHttpMaxRedirects
  RefusedRedirect,   // a redirect to something other than http or https
  NoHeaders,         // no complete response headers within kHttpHeaderSeconds
};

struct HttpOutcome {
  HttpStep failedStep = HttpStep::None;
  // GetLastError on Windows (12029 for a closed port), the CURLcode on Linux (7).
  unsigned long errorCode = 0;
  bool stoppedByReceiver = false;
  bool cancelled = false;  // ended because the cancel flag was raised
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

inline HttpOutcome HttpCancelled() {
  HttpOutcome outcome;
  outcome.cancelled = true;
  return outcome;
}

// `url` must already be escaped (no spaces or bytes outside ASCII). Blocks until the transfer
// ends, the receiver stops it or `options.cancel` is raised.
HttpOutcome HttpGet(const std::string& url, const HttpReceiver& receiver,
                    const HttpOptions& options = {});

}  // namespace platform
