// The patch server client: documents into memory, files to disk through a ReplacingFile.
#include "log/log.h"
#include "platform/http_client.h"
#include "platform/safe_write.h"
#include "update/update_manager.h"
#include "update/url_text.h"

namespace {

// A response at or above this status is an error page, never the content asked for.
constexpr long kFirstFailureStatus = 400;
constexpr std::size_t kFileWriteBuffer = std::size_t{256} * 1024;

struct Transfer {
  platform::HttpOutcome outcome;
  long status = 0;
  bool rejectedStatus = false;  // stopped because the status was kFirstFailureStatus or above
  bool cancelled = false;       // stopped on the cancel flag, by the client or after a piece
  bool sinkFailed = false;      // stopped because the data could not be stored
};

// Runs one GET, handing each piece to `store` (false: the data could not be kept) and reading
// the cancel flag after every piece. `opened` runs once the status is known to be good.
template <typename Opened, typename Store>
Transfer Run(const std::string& url, const std::atomic<bool>& cancel, Opened opened, Store store) {
  Transfer transfer;
  platform::HttpReceiver receiver;
  receiver.onStatus = [&](long status) {
    transfer.status = status;
    transfer.rejectedStatus = status >= kFirstFailureStatus;
    if (transfer.rejectedStatus) return false;
    transfer.sinkFailed = !opened();
    return !transfer.sinkFailed;
  };
  receiver.onChunk = [&](const char* data, std::size_t size) {
    if (!store(data, size)) {
      transfer.sinkFailed = true;
      return false;
    }
    transfer.cancelled = cancel.load();
    return !transfer.cancelled;
  };
  platform::HttpOptions options;
  options.cancel = &cancel;
  transfer.outcome = platform::HttpGet(EscapeUrl(url), receiver, options);
  transfer.cancelled = transfer.cancelled || transfer.outcome.cancelled;
  return transfer;
}

// What a failure that the client could name was, for its log line; null for the others.
const char* ProblemName(platform::HttpProblem problem) {
  switch (problem) {
    case platform::HttpProblem::Certificate:
      return "Certificate refused";
    case platform::HttpProblem::TooManyRedirects:
      return "Too many redirects";
    case platform::HttpProblem::RefusedRedirect:
      return "Redirect refused";
    case platform::HttpProblem::NoHeaders:
      return "No response";
    case platform::HttpProblem::None:
      break;
  }
  return nullptr;
}

// Documents log as the memory download they are.
constexpr char kDocumentFunction[] = "UpdateManager::DownloadToMemory";

// Fetches a document into `body` (bytes or text, built in place), refusing to hold more than
// `limit` bytes. True when something arrived and the transfer ended well or on the cancel flag.
template <typename Body>
bool ReceiveDocument(const std::string& url, const std::atomic<bool>& cancel, std::size_t limit,
                     Body& body) {
  body.clear();
  bool tooLarge = false;
  const Transfer transfer = Run(
      url, cancel, [] { return true; },
      [&](const char* data, std::size_t size) {
        tooLarge = size > limit - body.size();
        if (!tooLarge) body.insert(body.end(), data, data + size);
        return !tooLarge;
      });
  if (const char* problem = ProblemName(transfer.outcome.problem)) {
    LogErrorAs(kDocumentFunction, "%s for %s: %s", problem, url.c_str(),
               transfer.outcome.detail.c_str());
  }
  switch (transfer.outcome.failedStep) {
    case platform::HttpStep::Open:
      LogErrorAs(kDocumentFunction, "InternetOpen failed: %lu", transfer.outcome.errorCode);
      return false;
    case platform::HttpStep::OpenUrl:
      LogErrorAs(kDocumentFunction, "InternetOpenUrl failed for %s: %lu", url.c_str(),
                 transfer.outcome.errorCode);
      return false;
    case platform::HttpStep::Read:
      LogErrorAs(kDocumentFunction, "Transfer broke off for %s: %lu", url.c_str(),
                 transfer.outcome.errorCode);
      body.clear();
      body.shrink_to_fit();
      return false;
    case platform::HttpStep::None:
      break;
  }
  if (transfer.rejectedStatus) {
    LogErrorAs(kDocumentFunction, "Request failed for %s: HTTP status %ld", url.c_str(),
               transfer.status);
    return false;
  }
  if (tooLarge) {
    LogErrorAs(kDocumentFunction, "Document too large: %s is more than %zu bytes", url.c_str(),
               limit);
    body.clear();
    body.shrink_to_fit();
    return false;
  }
  return !body.empty();
}

}  // namespace

bool UpdateManager::DownloadToMemory(const std::string& url, std::vector<std::uint8_t>& out,
                                     std::size_t limit) {
  return ReceiveDocument(url, cancelRequested, limit, out);
}

std::string UpdateManager::DownloadToString(const std::string& url, std::size_t limit) {
  std::string body;
  if (!ReceiveDocument(url, cancelRequested, limit, body)) return {};
  return body;
}

std::unique_ptr<platform::ReplacingFile> UpdateManager::DownloadToReplacingFile(
    const std::string& url, const FileOpener& open, const PieceCheck& check) {
  std::unique_ptr<platform::ReplacingFile> file;
  std::vector<char> buffer;
  const auto flush = [&] {
    const bool written = buffer.empty() || file->Write(buffer.data(), buffer.size());
    buffer.clear();
    return written;
  };
  const Transfer transfer = Run(
      url, cancelRequested,
      [&] {
        file = open();
        buffer.reserve(kFileWriteBuffer);
        return file->IsOpen();
      },
      [&](const char* data, std::size_t size) {
        if (check && !check(data, size)) return false;
        // Pieces arrive 8 KiB at a time; the disk gets them in larger writes.
        if (buffer.size() + size > kFileWriteBuffer && !flush()) return false;
        buffer.insert(buffer.end(), data, data + size);
        return true;
      });
  if (transfer.rejectedStatus) {
    LogError("Request failed for %s: HTTP status %ld", url.c_str(), transfer.status);
  } else if (const char* problem = ProblemName(transfer.outcome.problem)) {
    LogError("%s for %s: %s", problem, url.c_str(), transfer.outcome.detail.c_str());
  } else if (transfer.outcome.failedStep == platform::HttpStep::Read) {
    LogError("Transfer broke off for %s: %lu", url.c_str(), transfer.outcome.errorCode);
  }
  const bool received = transfer.outcome.failedStep == platform::HttpStep::None &&
                        !transfer.rejectedStatus && !transfer.cancelled && !transfer.sinkFailed;
  const bool complete = received && file && flush();
  // A file that could not be opened or written (a full disk, a read-only folder) says why.
  if (file && file->Problem() != platform::FileProblem::None && !transfer.rejectedStatus &&
      transfer.outcome.problem == platform::HttpProblem::None &&
      transfer.outcome.failedStep != platform::HttpStep::Read) {
    LogError("Cannot write %s: %s", file->TemporaryPath().c_str(),
             platform::DescribeFailure(file->Problem(), file->ErrorCode()).c_str());
  }
  if (!complete) return nullptr;  // the file's destructor removes what was written
  return file;
}

bool UpdateManager::DownloadToFile(const std::string& url, const std::string& path) {
  const std::unique_ptr<platform::ReplacingFile> file = DownloadToReplacingFile(
      url, [&] { return std::make_unique<platform::ReplacingFile>(path); }, {});
  return file && file->Commit();
}
