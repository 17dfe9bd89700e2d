// Both version documents on any text: a result or a std::exception, nothing else. The launcher's
// version order is total and antisymmetric on whatever version texts arrive.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "update/compare_versions.h"
#include "update/version_documents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    ParseGameVersion(text, "http://127.0.0.1/patch/manifest.json");
  } catch (const std::exception&) {
  }
  try {
    const LauncherVersionInfo launcher = ParseLauncherVersion(text);
    const int forward = CompareVersions(launcher.version, "1.0.3");
    if (forward != -CompareVersions("1.0.3", launcher.version)) std::abort();
  } catch (const std::exception&) {
  }
  const std::size_t half = size / 2;
  const std::string a = text.substr(0, half);
  const std::string b = text.substr(half);
  if (CompareVersions(a, b) != -CompareVersions(b, a) || CompareVersions(a, a) != 0) std::abort();
  return 0;
}
