#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/http_client.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// ERROR_INTERNET_SECURE_FAILURE, which mingw-w64's wininet.h does not define.
constexpr DWORD kSecureFailure = 12175;
constexpr DWORD kFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;

// The Internet handle of a thread's outermost HttpConnectionScope: WinINet keeps a connection
// to the server alive for the handles below it, so the requests of a pass share it. A cancel
// closes it from another thread; the next request then opens a new one.
thread_local HINTERNET scopeInternet = nullptr;
thread_local bool scopeActive = false;

HINTERNET OpenInternet() {
  return InternetOpenA("Velmora Launcher", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

// WinINet's certificate errors, in the words the log line uses.
const char* CertificateProblem(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
      return "the certificate is for another host name";
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
      return "the certificate has expired or is not yet valid";
    case ERROR_INTERNET_INVALID_CA:
      return "the certificate comes from an authority this system does not trust";
    case ERROR_INTERNET_SEC_CERT_REVOKED:
      return "the certificate was revoked";
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case kSecureFailure:
      return "the certificate is not valid";
    default:
      return nullptr;
  }
}

HttpOutcome OpenUrlFailure(DWORD error) {
  HttpOutcome outcome = HttpFailure(HttpStep::OpenUrl, error);
  if (const char* problem = CertificateProblem(error)) {
    outcome.problem = HttpProblem::Certificate;
    outcome.detail = problem;
  }
  return outcome;
}

HttpOutcome Problem(HttpProblem problem, const std::string& detail) {
  HttpOutcome outcome = HttpFailure(HttpStep::OpenUrl, ERROR_INTERNET_TIMEOUT);
  outcome.problem = problem;
  outcome.detail = detail;
  return outcome;
}

// 0 for answers without an HTTP status line (FTP).
long StatusOf(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr)) {
    return 0;
  }
  return static_cast<long>(status);
}

// The request's Content-Range header, "" when it has none.
std::string ContentRangeOf(HINTERNET request) {
  char range[128];
  DWORD size = sizeof(range);
  if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_RANGE, range, &size, nullptr)) return {};
  return std::string(range, size);
}

// The extra request headers of `options`: a Range line when it asks for part of the body.
std::string RequestHeaders(const HttpOptions& options) {
  if (options.rangeStart == 0) return {};
  return "Range: bytes=" + std::to_string(options.rangeStart) + "-\r\n";
}

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string LocationOf(HINTERNET request) {
  char location[2048];
  DWORD size = sizeof(location);
  if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location, &size, nullptr)) return {};
  return std::string(location, size);
}

// The redirect's target as a whole URL, relative ones resolved against `base`.
std::string ResolveLocation(const std::string& base, const std::string& location) {
  char combined[4096];
  DWORD size = sizeof(combined);
  if (!InternetCombineUrlA(base.c_str(), location.c_str(), combined, &size, ICU_NO_ENCODE)) {
    return location;
  }
  return std::string(combined, size);
}

bool IsHttpUrl(const std::string& url) {
  const auto startsWith = [&](const char* prefix) {
    return _strnicmp(url.c_str(), prefix, std::strlen(prefix)) == 0;
  };
  return startsWith("http://") || startsWith("https://");
}

// Watches a request from a second thread: when the cancel flag has been up for the grace, or
// the response's headers are overdue, it closes the handle the request is blocked on, which
// makes the blocked WinINet call return. The request's thread stops it before it touches the
// handles again, and learns from it which of them are gone.
class Watchdog {
 public:
  Watchdog(HINTERNET internet, const std::atomic<bool>* cancel, int headerSeconds)
      : internet_(internet), cancel_(cancel), headerTime_(headerSeconds) {
    headerDeadline_ = Clock::now() + headerTime_;
    thread_ = std::thread([this] { Watch(); });
  }
  ~Watchdog() { Stop(); }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // A new response is awaited (after a redirect): its headers get the whole time again.
  void AwaitHeaders() {
    std::lock_guard lock(mutex_);
    request_ = nullptr;
    headerDeadline_ = Clock::now() + headerTime_;
  }
  // The headers are in; from now on a cancel closes `request`.
  void ReadingBody(HINTERNET request) {
    std::lock_guard lock(mutex_);
    request_ = request;
    headerDeadline_.reset();
  }
  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    woken_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  enum class Fired { No, Cancel, NoHeaders };
  Fired fired() const { return fired_; }
  bool closedInternet() const { return closedInternet_; }
  bool closedRequest() const { return closedRequest_; }

 private:
  void Watch() {
    std::unique_lock lock(mutex_);
    std::optional<Clock::time_point> cancelSeen;
    while (!stopping_) {
      woken_.wait_for(lock, std::chrono::milliseconds(kHttpCancelMilliseconds));
      if (stopping_) return;
      const auto now = Clock::now();
      if (cancel_ && cancel_->load() && !cancelSeen) cancelSeen = now;
      if (cancelSeen &&
          now - *cancelSeen >= std::chrono::milliseconds(kHttpCancelGraceMilliseconds)) {
        Fire(Fired::Cancel);
        return;
      }
      if (headerDeadline_ && now > *headerDeadline_) {
        Fire(Fired::NoHeaders);
        return;
      }
    }
  }

  void Fire(Fired why) {
    fired_ = why;
    if (request_) {
      InternetCloseHandle(request_);
      closedRequest_ = true;
    } else {
      InternetCloseHandle(internet_);
      closedInternet_ = true;
    }
  }

  HINTERNET internet_;
  const std::atomic<bool>* cancel_;
  std::chrono::seconds headerTime_;
  std::mutex mutex_;
  std::condition_variable woken_;
  HINTERNET request_ = nullptr;
  std::optional<Clock::time_point> headerDeadline_;
  bool stopping_ = false;
  Fired fired_ = Fired::No;
  bool closedInternet_ = false;
  bool closedRequest_ = false;
  std::thread thread_;
};

// The length the response announced, when it announced one (not for chunked answers).
std::optional<unsigned long long> ContentLengthOf(HINTERNET request) {
  char text[32];
  DWORD size = sizeof(text);
  if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return {};
  char* end = nullptr;
  const unsigned long long length = std::strtoull(text, &end, 10);
  if (end == text) return {};
  return length;
}

// WinINet reports a connection that closes before the announced length as the end of the body;
// a body shorter than its Content-Length is a transfer that broke off. The receive time-out
// ends a body that sends nothing; a body that drips is measured here, over periods of
// `stallSeconds`: one that brought less than kHttpStallBytesPerSecond on average has stalled.
HttpOutcome ReadBody(HINTERNET request, const HttpReceiver& receiver, int stallSeconds) {
  const std::optional<unsigned long long> announced = ContentLengthOf(request);
  unsigned long long received = 0;
  const std::chrono::seconds period(stallSeconds);
  auto periodStart = Clock::now();
  unsigned long long periodBytes = 0;
  char buffer[kHttpChunkSize];
  while (true) {
    DWORD read = 0;
    if (!InternetReadFile(request, buffer, sizeof(buffer), &read)) {
      return HttpFailure(HttpStep::Read, GetLastError());
    }
    if (read == 0) break;
    received += read;
    periodBytes += read;
    if (Clock::now() - periodStart >= period) {
      const auto floor = static_cast<unsigned long long>(kHttpStallBytesPerSecond) *
                         static_cast<unsigned long long>(stallSeconds);
      if (periodBytes < floor) return HttpFailure(HttpStep::Read, ERROR_INTERNET_TIMEOUT);
      periodStart = Clock::now();
      periodBytes = 0;
    }
    if (receiver.onChunk && !receiver.onChunk(buffer, read)) return HttpStoppedByReceiver();
  }
  if (announced && received < *announced) {
    return HttpFailure(HttpStep::Read, ERROR_INTERNET_CONNECTION_ABORTED);
  }
  return {};
}

// Opens `url`, following at most kHttpMaxRedirects redirects to http or https URLs. Returns the
// request handle of the final answer (null with `failure` set otherwise).
HINTERNET OpenFollowingRedirects(HINTERNET internet, std::string url, const std::string& headers,
                                 Watchdog& watchdog, HttpOutcome& failure) {
  for (int redirects = 0;; ++redirects) {
    HINTERNET request =
        InternetOpenUrlA(internet, url.c_str(), headers.empty() ? nullptr : headers.c_str(),
                         static_cast<DWORD>(headers.size()), kFlags, 0);
    if (!request) {
      failure = OpenUrlFailure(GetLastError());
      return nullptr;
    }
    const long status = StatusOf(request);
    if (!IsRedirect(status)) return request;
    const std::string target = ResolveLocation(url, LocationOf(request));
    InternetCloseHandle(request);
    if (!IsHttpUrl(target)) {
      failure = Problem(HttpProblem::RefusedRedirect, "a redirect to " + target);
      return nullptr;
    }
    if (redirects == kHttpMaxRedirects) {
      failure = Problem(HttpProblem::TooManyRedirects,
                        "more than " + std::to_string(kHttpMaxRedirects) + " redirects");
      return nullptr;
    }
    url = target;
    watchdog.AwaitHeaders();
  }
}

HttpOutcome Transfer(HINTERNET internet, const std::string& url, const HttpReceiver& receiver,
                     const HttpOptions& options, bool& internetClosed) {
  // A body that sends nothing for `stallSeconds` counts as broken off.
  DWORD receiveTimeout = static_cast<DWORD>(options.stallSeconds) * 1000;
  InternetSetOptionA(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeout,
                     sizeof(receiveTimeout));
  Watchdog watchdog(internet, options.cancel, options.headerSeconds);
  HttpOutcome outcome;
  HINTERNET request =
      OpenFollowingRedirects(internet, url, RequestHeaders(options), watchdog, outcome);
  if (request) {
    watchdog.ReadingBody(request);
    const HttpAnswer answer{StatusOf(request), ContentRangeOf(request)};
    if (receiver.onAnswer && !receiver.onAnswer(answer)) {
      outcome = HttpStoppedByReceiver();
    } else {
      outcome = ReadBody(request, receiver, options.stallSeconds);
    }
  }
  watchdog.Stop();
  if (request && !watchdog.closedRequest()) InternetCloseHandle(request);
  internetClosed = watchdog.closedInternet();
  if (outcome.stoppedByReceiver) return outcome;
  switch (watchdog.fired()) {
    case Watchdog::Fired::Cancel:
      return HttpCancelled();
    case Watchdog::Fired::NoHeaders:
      return Problem(HttpProblem::NoHeaders, "no complete response headers within " +
                                                 std::to_string(options.headerSeconds) +
                                                 " seconds");
    case Watchdog::Fired::No:
      break;
  }
  return outcome;
}

}  // namespace

HttpConnectionScope::HttpConnectionScope() {
  if (scopeActive) return;
  scopeActive = true;
  owner_ = true;
}

HttpConnectionScope::~HttpConnectionScope() {
  if (!owner_) return;
  if (scopeInternet) InternetCloseHandle(scopeInternet);
  scopeInternet = nullptr;
  scopeActive = false;
}

HttpOutcome HttpGet(const std::string& url, const HttpReceiver& receiver,
                    const HttpOptions& options) {
  HINTERNET internet = scopeActive ? scopeInternet : nullptr;
  if (!internet) internet = OpenInternet();
  if (!internet) return HttpFailure(HttpStep::Open, GetLastError());
  if (scopeActive) scopeInternet = internet;

  bool internetClosed = false;
  const HttpOutcome outcome = Transfer(internet, url, receiver, options, internetClosed);
  if (internetClosed) {
    if (scopeActive) scopeInternet = nullptr;
  } else if (!scopeActive) {
    InternetCloseHandle(internet);
  }
  return outcome;
}

}  // namespace platform
