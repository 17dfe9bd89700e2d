// The patch server client: documents into memory, files to disk through a ReplacingFile.
#include "log/log.h"
#include "platform/http_client.h"
#include "platform/safe_write.h"
#include "update/content_range.h"
#include "update/update_manager.h"
#include "update/url_text.h"

namespace {

// A response at or above this status is an error page, never the content asked for.
constexpr long kFirstFailureStatus = 400;
constexpr long kPartialContent = 206;
constexpr long kRangeNotSatisfiable = 416;
constexpr std::size_t kFileWriteBuffer = std::size_t{256} * 1024;

// Pieces arrive 8 KiB at a time; the disk gets them in larger writes.
class BufferedWriter {
 public:
  void WriteTo(platform::ReplacingFile* file) {
    file_ = file;
    buffer_.reserve(kFileWriteBuffer);
  }
  bool Add(const char* data, std::size_t size) {
    if (buffer_.size() + size > kFileWriteBuffer && !Flush()) return false;
    buffer_.insert(buffer_.end(), data, data + size);
    return true;
  }
  // Writes what is buffered; false when it could not.
  bool Flush() {
    const bool written = buffer_.empty() || (file_ && file_->Write(buffer_.data(), buffer_.size()));
    buffer_.clear();
    return written;
  }

 private:
  platform::ReplacingFile* file_ = nullptr;
  std::vector<char> buffer_;
};

struct Transfer {
  platform::HttpOutcome outcome;
  long status = 0;
  bool rejectedStatus = false;  // stopped because the status was kFirstFailureStatus or above
  bool cancelled = false;       // stopped on the cancel flag, by the client or after a piece
  bool sinkFailed = false;      // stopped because the data could not be stored
};

// Runs one GET (from byte `rangeStart` on when it is not 0), handing each piece to `store`
// (false: the data could not be kept) and reading the cancel flag after every piece. `opened`
// runs with the answer once its status is known to be good; false stops the transfer.
template <typename Opened, typename Store>
Transfer Run(const std::string& url, const std::atomic<bool>& cancel, Opened opened, Store store,
             std::uint64_t rangeStart = 0) {
  Transfer transfer;
  platform::HttpReceiver receiver;
  receiver.onAnswer = [&](const platform::HttpAnswer& answer) {
    transfer.status = answer.status;
    transfer.rejectedStatus = answer.status >= kFirstFailureStatus;
    if (transfer.rejectedStatus) return false;
    transfer.sinkFailed = !opened(answer);
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
  options.rangeStart = rangeStart;
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

// The line that says why a file transfer failed, when the transfer itself failed.
void LogFileTransferFailure(const std::string& url, const Transfer& transfer,
                            const platform::ReplacingFile* file) {
  if (transfer.rejectedStatus) {
    LogError("Request failed for %s: HTTP status %ld", url.c_str(), transfer.status);
  } else if (const char* problem = ProblemName(transfer.outcome.problem)) {
    LogError("%s for %s: %s", problem, url.c_str(), transfer.outcome.detail.c_str());
  } else if (transfer.outcome.failedStep == platform::HttpStep::Read) {
    LogError("Transfer broke off for %s: %lu", url.c_str(), transfer.outcome.errorCode);
  } else if (file && file->Problem() != platform::FileProblem::None) {
    // A file that could not be opened or written (a full disk, a read-only folder) says why.
    LogError("Cannot write %s: %s", file->TemporaryPath().c_str(),
             platform::DescribeFailure(file->Problem(), file->ErrorCode()).c_str());
  }
}

bool Succeeded(const Transfer& transfer) {
  return transfer.outcome.failedStep == platform::HttpStep::None && !transfer.rejectedStatus &&
         !transfer.cancelled && !transfer.sinkFailed;
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
      url, cancel, [](const platform::HttpAnswer&) { return true; },
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
  BufferedWriter writer;
  const Transfer transfer = Run(
      url, cancelRequested,
      [&](const platform::HttpAnswer&) {
        file = open();
        writer.WriteTo(file.get());
        return file->IsOpen();
      },
      [&](const char* data, std::size_t size) {
        return (!check || check(data, size)) && writer.Add(data, size);
      });
  const bool complete = Succeeded(transfer) && file && writer.Flush();
  LogFileTransferFailure(url, transfer, file.get());
  if (!complete) return nullptr;  // the file's destructor removes what was written
  return file;
}

UpdateManager::PartTransfer UpdateManager::DownloadIntoFile(const std::string& url,
                                                            platform::ReplacingFile& file,
                                                            const std::function<void()>& startOver,
                                                            const PieceCheck& check) {
  const std::uint64_t offset = file.Size();
  bool rangeRefused = false;
  BufferedWriter writer;
  writer.WriteTo(&file);
  const Transfer transfer = Run(
      url, cancelRequested,
      [&](const platform::HttpAnswer& answer) {
        if (offset == 0) return true;
        if (answer.status == kPartialContent) {
          // Appended only when it is the rest that was asked for.
          rangeRefused = ContentRangeStart(answer.contentRange) != offset;
          return !rangeRefused;
        }
        if (!file.Restart()) return false;
        startOver();
        return true;
      },
      [&](const char* data, std::size_t size) {
        return (!check || check(data, size)) && writer.Add(data, size);
      },
      offset);
  if (offset > 0 && (rangeRefused || transfer.status == kRangeNotSatisfiable)) {
    LogInfo("Range refused for %s from byte %llu: HTTP status %ld", url.c_str(),
            static_cast<unsigned long long>(offset), transfer.status);
    return PartTransfer::RangeRefused;
  }
  // What arrived is written also when the transfer failed: the next attempt continues from it.
  const bool written = writer.Flush();
  LogFileTransferFailure(url, transfer, &file);
  return Succeeded(transfer) && written ? PartTransfer::Complete : PartTransfer::Failed;
}

bool UpdateManager::DownloadToFile(const std::string& url, const std::string& path) {
  const std::unique_ptr<platform::ReplacingFile> file = DownloadToReplacingFile(
      url, [&] { return std::make_unique<platform::ReplacingFile>(path); }, {});
  return file && file->Commit();
}
