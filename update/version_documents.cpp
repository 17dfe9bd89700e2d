#include "update/version_documents.h"

#include <nlohmann/json.hpp>

GameVersionInfo ParseGameVersion(const std::string& text, const std::string& defaultManifestUrl) {
  const nlohmann::json document = nlohmann::json::parse(text);
  GameVersionInfo info;
  info.version = document.value("version", std::string());
  info.manifestUrl = document.value("manifest_url", defaultManifestUrl);
  info.manifestHash = document.value("manifest_hash", std::string());
  return info;
}

LauncherVersionInfo ParseLauncherVersion(const std::string& text) {
  const nlohmann::json document = nlohmann::json::parse(text);
  LauncherVersionInfo info;
  info.version = document.value("version", std::string());
  info.launcherUrl = document.value("launcher_url", std::string());
  return info;
}
