#include <windows.h>

#include "platform/process.h"
#include "platform/text.h"

namespace platform {

StartResult StartProcess(const CommandLine& commandLine, const std::string& workingDirectory) {
  // CreateProcessW may write into the command line, so it gets a private copy.
  Utf16String text = Utf8ToUtf16(FormatCommandLine(commandLine).c_str());
  const Utf16String folder = Utf8ToUtf16(workingDirectory.c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    return {false, GetLastError()};
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return {true, 0};
}

void ExitProcessNow(int code) {
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace platform
