#include <windows.h>
// after windows.h, which it needs
#include <shlwapi.h>

#include <vector>

#include "platform/launcher_directory.h"
#include "platform/text.h"

namespace {

// GetModuleFileNameW with a buffer that grows past MAX_PATH, so a launcher installed in a deep
// folder still finds itself instead of working with a cut path.
std::wstring ModulePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return {buffer.data(), length};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string GetExecutablePath() {
  return Utf16ToUtf8(ModulePath().c_str());
}

std::string GetLauncherDirectory() {
  std::wstring path = ModulePath();
  PathRemoveFileSpecW(path.data());  // writes a NUL in place of the last separator
  return Utf16ToUtf8(path.c_str());
}
