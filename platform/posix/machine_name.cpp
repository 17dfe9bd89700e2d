#include <unistd.h>

#include <array>
#include <cstring>

#include "platform/machine_name.h"

namespace platform {

namespace {
// The Windows computer name has at most 15 characters; Linux reports the host name the same way.
constexpr std::size_t kMaxNameLength = 15;
}  // namespace

std::string MachineName() {
  std::array<char, 256> buffer{};
  // The last byte stays NUL even when the name was cut to fit.
  if (gethostname(buffer.data(), buffer.size() - 1) != 0) return {};
  std::string name(buffer.data(), strnlen(buffer.data(), kMaxNameLength));
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

}  // namespace platform
