#include <windows.h>

#include "platform/file_ops.h"
#include "platform/text.h"

namespace platform {

namespace {

bool IsNotFound(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
      return true;
    default:
      return false;
  }
}

}  // namespace

PathQuery QueryPath(const std::string& path) {
  const Utf16String wide = Utf8ToUtf16(path.c_str());
  if (GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES) return {PathState::Exists, 0};
  const DWORD error = GetLastError();
  if (IsNotFound(error)) return {PathState::Missing, 0};
  return {PathState::Error, error};
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  const Utf16String source = Utf8ToUtf16(from.c_str());
  const Utf16String target = Utf8ToUtf16(to.c_str());
  return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool MarkExecutable(const std::string&) {
  return true;
}

}  // namespace platform
