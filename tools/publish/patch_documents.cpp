#include "tools/publish/patch_documents.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "tools/publish/file_name_rules.h"

namespace publish {

namespace {

// Keys in the order a reader expects them, not sorted.
using Json = nlohmann::ordered_json;

std::string Dump(const Json& document) {
  return document.dump(2) + "\n";
}

}  // namespace

std::string ManifestText(const std::string& version, const std::vector<PublishedFile>& files) {
  Json entries = Json::array();
  for (const auto& file : files)
    entries.push_back({{"path", file.path}, {"hash", file.hash}, {"size", file.size}});
  return Dump({{"version", version}, {"files", std::move(entries)}});
}

std::string VersionText(const std::string& version, const std::string& manifestHash) {
  return Dump({{"version", version}, {"manifest_hash", manifestHash}});
}

std::string LauncherVersionText(const std::string& version, const std::string& url,
                                const std::string& hash, std::uint64_t size,
                                const std::string& signature) {
  Json document{{"version", version}, {"launcher_url", url}, {"hash", hash}, {"size", size}};
  if (!signature.empty()) document["signature"] = signature;
  return Dump(document);
}

std::string VersionRefusal(const std::string& version) {
  if (version.empty()) return "the version is empty";
  if (!IsValidUtf8(version)) return "the version is not valid UTF-8";
  const bool hasControl = std::any_of(version.begin(), version.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
  if (hasControl) return "the version holds a line break or another control character";
  return {};
}

}  // namespace publish
