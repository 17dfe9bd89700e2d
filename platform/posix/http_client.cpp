#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/build_config.h"
#include "platform/http_client.h"

namespace platform {

namespace {

constexpr long kReceiveBufferSize = 64L * 1024;

struct HeaderListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

void InitialiseOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One easy handle driven through its own multi handle. The multi handle keeps the connections
// and TLS sessions between requests; driving the transfer through it lets the thread look at
// the cancel flag and the clock while it waits for data.
class Client {
 public:
  Client() : multi_((InitialiseOnce(), curl_multi_init())), easy_(curl_easy_init()) {}
  ~Client() {
    if (easy_) curl_easy_cleanup(easy_);
    if (multi_) curl_multi_cleanup(multi_);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  CURLM* multi() const { return multi_; }
  CURL* easy() const { return easy_; }

 private:
  CURLM* multi_;
  CURL* easy_;
};

// The client of the thread's outermost HttpConnectionScope, if it holds one.
thread_local Client* scopeClient = nullptr;

using Clock = std::chrono::steady_clock;

struct Transfer {
  CURL* easy = nullptr;
  const HttpReceiver* receiver = nullptr;
  bool statusDelivered = false;
  bool stopped = false;
  std::chrono::seconds headerTime{kHttpHeaderSeconds};
  // Until a response's headers are complete (redirects start the wait again).
  bool headersComplete = false;
  Clock::time_point headerDeadline = Clock::now() + headerTime;

  // Called with each header line; an empty line ends a response's headers.
  void HeaderLine(const char* line, std::size_t size) {
    if (size > 2 || (size == 2 && line[0] != '\r')) return;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if ((status >= 300 && status < 400) || (status >= 100 && status < 200)) {
      headerDeadline = Clock::now() + headerTime;
    } else {
      headersComplete = true;
    }
  }

  bool DeliverStatus() {
    if (statusDelivered) return true;
    statusDelivered = true;
    HttpAnswer answer;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.status);
    // The last response's header (-1): not one of a redirect that led to it.
    curl_header* range = nullptr;
    if (curl_easy_header(easy, "Content-Range", 0, CURLH_HEADER, -1, &range) == CURLHE_OK) {
      answer.contentRange = range->value;
    }
    return !receiver->onAnswer || receiver->onAnswer(answer);
  }

  // Hands the data on in pieces of at most kHttpChunkSize bytes.
  bool Deliver(const char* data, std::size_t size) {
    if (!DeliverStatus()) return false;
    while (size > 0) {
      const std::size_t piece = std::min(size, kHttpChunkSize);
      if (receiver->onChunk && !receiver->onChunk(data, piece)) return false;
      data += piece;
      size -= piece;
    }
    return true;
  }
};

size_t WriteBody(char* data, size_t, size_t size, void* context) {
  auto* transfer = static_cast<Transfer*>(context);
  transfer->headersComplete = true;
  if (transfer->Deliver(data, size)) return size;
  transfer->stopped = true;
  return CURL_WRITEFUNC_ERROR;
}

size_t ReadHeader(char* data, size_t, size_t size, void* context) {
  static_cast<Transfer*>(context)->HeaderLine(data, size);
  return size;
}

void Configure(CURL* easy, const std::string& url, const HttpOptions& options, curl_slist* headers,
               Transfer* transfer, char* errorText) {
  curl_easy_reset(easy);  // options only: connections and TLS sessions stay
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  // A plain Range header: the receiver looks at the answer itself (206, 200 or 416), where
  // curl's own resume would fail the transfer of a server that sends the whole file.
  if (options.rangeStart > 0) {
    const std::string range = std::to_string(options.rangeStart) + "-";
    curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());  // curl keeps a copy
  }
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "Velmora Launcher");
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(kHttpMaxRedirects));
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  // A build that names its own authorities trusts those and nothing else.
  if (*build_config::kCaBundle != '\0') {
    curl_easy_setopt(easy, CURLOPT_CAINFO, build_config::kCaBundle);
    curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
  }
  // Socket reads of 64 KiB keep loopback and LAN transfers at curl's own speed (8 KiB reads cost
  // a third of it); the body still reaches the receiver in pieces of kHttpChunkSize.
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  // A transfer that stalls for `options.stallSeconds` counts as broken off.
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(kHttpStallBytesPerSecond));
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.stallSeconds));
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, ReadHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
}

enum class DriveEnd { Done, Cancelled, NoHeaders };

// Runs the transfer of `easy` on `multi` to its end (its code in `result`), until the cancel
// flag has been up for kHttpCancelGraceMilliseconds, or until a response's headers are overdue.
// Within the grace the next piece of the body may still arrive, and the receiver then stops the
// transfer as it always does; a server that sends nothing cannot hold it longer.
DriveEnd Drive(CURLM* multi, Transfer& transfer, const std::atomic<bool>* cancel,
               CURLcode& result) {
  CURL* easy = transfer.easy;
  curl_multi_add_handle(multi, easy);
  bool done = false;
  DriveEnd end = DriveEnd::Done;
  std::optional<Clock::time_point> cancelSeen;
  while (!done) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
        result = message->data.result;
        done = true;
      }
    }
    if (done) break;
    const auto now = Clock::now();
    if (cancel && cancel->load()) {
      if (!cancelSeen) cancelSeen = now;
      if (now - *cancelSeen >= std::chrono::milliseconds(kHttpCancelGraceMilliseconds)) {
        end = DriveEnd::Cancelled;
        break;
      }
    }
    if (!transfer.headersComplete && now > transfer.headerDeadline) {
      end = DriveEnd::NoHeaders;
      break;
    }
    curl_multi_poll(multi, nullptr, 0, kHttpCancelMilliseconds, nullptr);
  }
  curl_multi_remove_handle(multi, easy);
  return end;
}

// Errors before the server's answer arrived are the request's; later ones are the body's.
HttpStep StepOf(CURLcode code, bool answered) {
  if (code == CURLE_OK) return HttpStep::None;
  return answered ? HttpStep::Read : HttpStep::OpenUrl;
}

HttpProblem ProblemOf(CURLcode code) {
  switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      return HttpProblem::Certificate;
    case CURLE_TOO_MANY_REDIRECTS:
      return HttpProblem::TooManyRedirects;
    case CURLE_UNSUPPORTED_PROTOCOL:
      // The launcher's own URLs are http or https: another scheme came from a redirect.
      return HttpProblem::RefusedRedirect;
    default:
      return HttpProblem::None;
  }
}

HttpOutcome Failure(HttpStep step, CURLcode code, const char* errorText) {
  HttpOutcome outcome = HttpFailure(step, static_cast<unsigned long>(code));
  outcome.problem = ProblemOf(code);
  outcome.detail = *errorText != '\0' ? errorText : curl_easy_strerror(code);
  return outcome;
}

HttpOutcome HeadersOverdue(std::chrono::seconds limit) {
  HttpOutcome outcome = HttpFailure(HttpStep::OpenUrl, CURLE_OPERATION_TIMEDOUT);
  outcome.problem = HttpProblem::NoHeaders;
  outcome.detail =
      "no complete response headers within " + std::to_string(limit.count()) + " seconds";
  return outcome;
}

}  // namespace

HttpConnectionScope::HttpConnectionScope() {
  if (scopeClient) return;
  scopeClient = new Client;
  owner_ = true;
}

HttpConnectionScope::~HttpConnectionScope() {
  if (!owner_) return;
  delete scopeClient;
  scopeClient = nullptr;
}

HttpOutcome HttpGet(const std::string& url, const HttpReceiver& receiver,
                    const HttpOptions& options) {
  std::optional<Client> ownClient;
  if (!scopeClient) ownClient.emplace();
  Client& client = scopeClient ? *scopeClient : *ownClient;
  if (!client.multi() || !client.easy()) return HttpFailure(HttpStep::Open, CURLE_FAILED_INIT);
  curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  const std::unique_ptr<curl_slist, HeaderListDeleter> headerList(headers);

  Transfer transfer;
  transfer.easy = client.easy();
  transfer.receiver = &receiver;
  transfer.headerTime = std::chrono::seconds(options.headerSeconds);
  transfer.headerDeadline = Clock::now() + transfer.headerTime;
  char errorText[CURL_ERROR_SIZE] = "";
  Configure(client.easy(), url, options, headerList.get(), &transfer, errorText);
  CURLcode code = CURLE_OK;
  const DriveEnd end = Drive(client.multi(), transfer, options.cancel, code);
  if (transfer.stopped) return HttpStoppedByReceiver();
  if (end == DriveEnd::Cancelled) return HttpCancelled();
  if (end == DriveEnd::NoHeaders) return HeadersOverdue(transfer.headerTime);

  long status = 0;
  curl_easy_getinfo(client.easy(), CURLINFO_RESPONSE_CODE, &status);
  const HttpStep step = StepOf(code, status != 0);
  if (step != HttpStep::None) return Failure(step, code, errorText);
  // An empty body never reached the write callback: the status still has to be delivered.
  if (!transfer.DeliverStatus()) return HttpStoppedByReceiver();
  return {};
}

}  // namespace platform
