#include "update/version_documents.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

#include "update/document_checks.h"

namespace {

nlohmann::json ParseDocument(const std::string& text) {
  CheckJsonNesting(text);
  return nlohmann::json::parse(text);
}

// A version text or address: it goes into log lines and one-line files.
std::string ReadLineText(const nlohmann::json& document, const char* name,
                         const std::string& fallback) {
  std::string text = document.value(name, fallback);
  if (HasControlCharacter(text)) {
    throw std::runtime_error(std::string("control character in \"") + name + "\"");
  }
  return text;
}

}  // namespace

GameVersionInfo ParseGameVersion(const std::string& text, const std::string& defaultManifestUrl) {
  const nlohmann::json document = ParseDocument(text);
  GameVersionInfo info;
  info.version = ReadLineText(document, "version", std::string());
  info.manifestUrl = ReadLineText(document, "manifest_url", defaultManifestUrl);
  info.manifestHash = document.value("manifest_hash", std::string());
  return info;
}

LauncherVersionInfo ParseLauncherVersion(const std::string& text) {
  const nlohmann::json document = ParseDocument(text);
  LauncherVersionInfo info;
  info.version = ReadLineText(document, "version", std::string());
  info.launcherUrl = ReadLineText(document, "launcher_url", std::string());
  info.hash = document.value("hash", std::string());
  if (const auto size = document.find("size"); size != document.end()) {
    // The library would turn -1 into 2^64 - 1 and 1.5 into 1; a size is a whole byte count.
    if (!size->is_number_unsigned()) {
      throw std::invalid_argument("launcher size is not a byte count: " + size->dump());
    }
    info.size = size->get<std::uint64_t>();
  }
  info.signature = document.value("signature", std::string());
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
