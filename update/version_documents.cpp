#include "update/version_documents.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

#include "update/document_checks.h"

namespace {

nlohmann::json ParseDocument(const std::string& text) {
  CheckJsonNesting(text);
  return nlohmann::json::parse(text);
}

}  // namespace

GameVersionInfo ParseGameVersion(const std::string& text, const std::string& defaultManifestUrl) {
  const nlohmann::json document = ParseDocument(text);
  GameVersionInfo info;
  info.version = document.value("version", std::string());
  info.manifestUrl = document.value("manifest_url", defaultManifestUrl);
  info.manifestHash = document.value("manifest_hash", std::string());
  return info;
}

LauncherVersionInfo ParseLauncherVersion(const std::string& text) {
  const nlohmann::json document = ParseDocument(text);
  LauncherVersionInfo info;
  info.version = document.value("version", std::string());
  info.launcherUrl = document.value("launcher_url", std::string());
  info.hash = document.value("hash", std::string());
  if (const auto size = document.find("size"); size != document.end()) {
    // The library would turn -1 into 2^64 - 1 and 1.5 into 1; a size is a whole byte count.
    if (!size->is_number_unsigned()) {
      throw std::invalid_argument("launcher size is not a byte count: " + size->dump());
    }
    info.size = size->get<std::uint64_t>();
  }
  return info;
}

bool IsUsableLauncherVersion(const std::string& version) {
  if (version.empty()) return false;
  for (const char c : version) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_' || c == '+';
    if (!plain) return false;
  }
  return true;
}
