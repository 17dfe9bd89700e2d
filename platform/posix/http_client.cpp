#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "common/build_config.h"
#include "platform/http_client.h"

namespace platform {

namespace {

constexpr long kReceiveBufferSize = 64 * 1024;

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct HeaderListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Transfer {
  CURL* easy = nullptr;
  const HttpReceiver* receiver = nullptr;
  bool statusDelivered = false;
  bool stopped = false;

  bool DeliverStatus() {
    if (statusDelivered) return true;
    statusDelivered = true;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    return !receiver->onStatus || receiver->onStatus(status);
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
  if (transfer->Deliver(data, size)) return size;
  transfer->stopped = true;
  return CURL_WRITEFUNC_ERROR;
}

void InitialiseOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void Configure(CURL* easy, const std::string& url, curl_slist* headers, Transfer* transfer) {
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "Velmora Launcher");
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
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
  // A transfer that stalls completely for two minutes counts as broken off.
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 120L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer);
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

}  // namespace

HttpOutcome HttpGet(const std::string& url, const HttpReceiver& receiver) {
  InitialiseOnce();
  const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) return HttpFailure(HttpStep::Open, CURLE_FAILED_INIT);
  curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  const std::unique_ptr<curl_slist, HeaderListDeleter> headerList(headers);

  Transfer transfer{easy.get(), &receiver};
  Configure(easy.get(), url, headerList.get(), &transfer);
  char errorText[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(easy.get(), CURLOPT_ERRORBUFFER, errorText);
  const CURLcode code = curl_easy_perform(easy.get());
  if (transfer.stopped) return HttpStoppedByReceiver();

  long status = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  const HttpStep step = StepOf(code, status != 0);
  if (step != HttpStep::None) return Failure(step, code, errorText);
  // An empty body never reached the write callback: the status still has to be delivered.
  if (!transfer.DeliverStatus()) return HttpStoppedByReceiver();
  return {};
}

}  // namespace platform
