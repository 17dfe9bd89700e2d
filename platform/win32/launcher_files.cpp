#include <windows.h>

#include "platform/launcher_files.h"
#include "platform/text.h"

namespace platform {

std::vector<std::string> ListMatchingEntries(const std::string& folder,
                                             const std::string& pattern) {
  std::vector<std::string> names;
  const Utf16String search = Utf8ToUtf16((folder + pattern).c_str());
  WIN32_FIND_DATAW found{};
  const HANDLE handle = FindFirstFileW(search.c_str(), &found);
  if (handle == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(Utf16ToUtf8(found.cFileName));
  } while (FindNextFileW(handle, &found));
  FindClose(handle);
  return names;
}

bool DeleteOneFile(const std::string& path) {
  return DeleteFileW(Utf8ToUtf16(path.c_str()).c_str()) != 0;
}

RenameResult RenameWithoutReplacing(const std::string& from, const std::string& to) {
  const Utf16String source = Utf8ToUtf16(from.c_str());
  const Utf16String target = Utf8ToUtf16(to.c_str());
  if (MoveFileW(source.c_str(), target.c_str())) return {true, 0};
  return {false, GetLastError()};
}

void SleepMilliseconds(unsigned milliseconds) {
  Sleep(milliseconds);
}

}  // namespace platform
