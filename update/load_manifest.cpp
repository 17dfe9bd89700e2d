#include <exception>

#include "log/log.h"
#include "update/update_manager.h"

bool UpdateManager::LoadManifest(const std::string& text, std::vector<ManifestEntry>& entries,
                                 std::string& version) {
  try {
    manifest::Parse(text, entries, version);
    return true;
  } catch (const std::exception& error) {
    LogError("LoadManifest error: %s", error.what());
    return false;
  }
}
