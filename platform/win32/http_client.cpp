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

HttpOutcome ReadBody(HINTERNET request, const HttpReceiver& receiver) {
  char buffer[kHttpChunkSize];
  while (true) {
    DWORD read = 0;
    if (!InternetReadFile(request, buffer, sizeof(buffer), &read)) {
      return {HttpStep::Read, GetLastError(), false};
    }
    if (read == 0) return {};
    if (receiver.onChunk && !receiver.onChunk(buffer, read)) return {HttpStep::None, 0, true};
  }
}

}  // namespace

HttpOutcome HttpGet(const std::string& url, const HttpReceiver& receiver) {
  const InternetHandle internet(
      InternetOpenA("Velmora Launcher", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet.get()) return {HttpStep::Open, GetLastError(), false};

  const InternetHandle request(InternetOpenUrlA(internet.get(), url.c_str(), nullptr, 0,
                                                INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                                0));
  if (!request.get()) return {HttpStep::OpenUrl, GetLastError(), false};

  if (receiver.onStatus && !receiver.onStatus(StatusOf(request.get()))) {
    return {HttpStep::None, 0, true};
  }
  return ReadBody(request.get(), receiver);
}

}  // namespace platform
