#include <unistd.h>

#include <vector>

#include "platform/launcher_directory.h"

std::string GetExecutablePath() {
  // readlink gives no length up front and does not terminate; grow until the link fits.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size())
      return {buffer.data(), static_cast<size_t>(length)};
    buffer.resize(buffer.size() * 2);
  }
}

std::string GetLauncherDirectory() {
  std::string path = GetExecutablePath();
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  path.resize(slash == 0 ? 1 : slash);  // the root folder keeps its slash
  return path;
}
