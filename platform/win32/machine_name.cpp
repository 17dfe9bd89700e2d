#include <windows.h>

#include <cstring>

#include "platform/machine_name.h"

namespace platform {

std::string MachineName() {
  char buffer[16] = {};
  DWORD size = sizeof(buffer);
  if (!GetComputerNameA(buffer, &size)) return {};
  // Never past the buffer, whatever the size reported: the name ends at its NUL or at byte 16.
  return std::string(buffer, strnlen(buffer, sizeof(buffer)));
}

}  // namespace platform
