#include <windows.h>
#include <wininet.h>

#include "platform/http_client.h"

namespace platform {

namespace {

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  ~InternetHandle() {
    if (handle_) InternetCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

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

// ERROR_INTERNET_SECURE_FAILURE, which mingw-w64's wininet.h does not define.
constexpr DWORD kSecureFailure = 12175;

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

HttpOutcome ReadBody(HINTERNET request, const HttpReceiver& receiver) {
  char buffer[kHttpChunkSize];
  while (true) {
    DWORD read = 0;
    if (!InternetReadFile(request, buffer, sizeof(buffer), &read)) {
      return HttpFailure(HttpStep::Read, GetLastError());
    }
    if (read == 0) return {};
    if (receiver.onChunk && !receiver.onChunk(buffer, read)) return HttpStoppedByReceiver();
  }
}

}  // namespace

HttpOutcome HttpGet(const std::string& url, const HttpReceiver& receiver) {
  const InternetHandle internet(
      InternetOpenA("Velmora Launcher", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet.get()) return HttpFailure(HttpStep::Open, GetLastError());

  const InternetHandle request(InternetOpenUrlA(internet.get(), url.c_str(), nullptr, 0,
                                                INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                                0));
  if (!request.get()) return OpenUrlFailure(GetLastError());

  if (receiver.onStatus && !receiver.onStatus(StatusOf(request.get()))) {
    return HttpStoppedByReceiver();
  }
  return ReadBody(request.get(), receiver);
}

}  // namespace platform
