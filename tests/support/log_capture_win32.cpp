#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "platform/launcher_directory.h"
#include "platform/text.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

class LogCapture::Impl {
 public:
  ~Impl() { Stop(); }

  void Start() {
    const std::wstring viewer = Utf8ToUtf16((GetLauncherDirectory() + "\\LogViewer.exe").c_str());
    std::wstring commandLine = L"\"" + viewer + L"\" --output \"" + records_.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process_)) {
      throw std::runtime_error("cannot start LogViewer.exe");
    }
    for (int i = 0; i < 1000 && window_ == nullptr; ++i) {
      window_ = FindWindowA(nullptr, "TarsenWndLog");
      if (window_ == nullptr) Sleep(10);
    }
    if (window_ == nullptr) throw std::runtime_error("LogViewer.exe did not open its window");
  }

  void Stop() {
    if (process_.hProcess == nullptr) return;
    if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) {
      TerminateProcess(process_.hProcess, 1);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
    process_ = {};
    window_ = nullptr;
  }

  std::vector<LogMessage> Messages(std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<LogMessage> messages = Read();
    while (messages.size() < count && std::chrono::steady_clock::now() < deadline) {
      Sleep(10);
      messages = Read();
    }
    return messages;
  }

 private:
  // Records of dwData (8 bytes), cbData (4 bytes) and the data, as LogViewer.exe writes them.
  std::vector<LogMessage> Read() const {
    std::ifstream in(records_, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    std::vector<LogMessage> messages;
    std::size_t at = 0;
    while (content.size() - at >= 12) {
      LogMessage message;
      std::uint32_t size = 0;
      std::memcpy(&message.tag, content.data() + at, 8);
      std::memcpy(&size, content.data() + at + 8, 4);
      if (content.size() - at - 12 < size) break;
      message.bytes = content.substr(at + 12, size);
      messages.push_back(std::move(message));
      at += 12 + size;
    }
    return messages;
  }

  TempDir folder_{"velmora-log"};
  std::filesystem::path records_ = folder_.path() / "records.bin";
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

LogCapture::LogCapture() : impl_(std::make_unique<Impl>()) {}
LogCapture::~LogCapture() = default;
void LogCapture::Start() {
  impl_->Start();
}
std::vector<LogMessage> LogCapture::Messages(std::size_t count, std::chrono::milliseconds timeout) {
  return impl_->Messages(count, timeout);
}

// A window is found by its title across the whole desktop, so there is nothing to isolate here:
// tests that start a viewer run alone (RUN_SERIAL).
void IsolateLogSink() {}

}  // namespace testing_support
