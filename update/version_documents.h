// The patch server's two version documents. Both parsers throw the JSON library's exceptions
// (std::exception) for malformed text, a document that is not an object, or a member of the wrong
// type; missing members take their defaults.
#pragma once

#include <string>

struct GameVersionInfo {
  std::string version;
  std::string manifestUrl;
  std::string manifestHash;  // read and type-checked, used for nothing
};

// version.json; the manifest URL defaults to `defaultManifestUrl`.
GameVersionInfo ParseGameVersion(const std::string& text, const std::string& defaultManifestUrl);

struct LauncherVersionInfo {
  std::string version;
  std::string launcherUrl;
};

// launcher_version.json.
LauncherVersionInfo ParseLauncherVersion(const std::string& text);
