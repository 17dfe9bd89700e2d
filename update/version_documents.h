// The patch server's two version documents. Both parsers throw the JSON library's exceptions
// (std::exception) for malformed text, a document that is not an object, or a member of the wrong
// type; missing members take their defaults. They also throw, before parsing, for a document
// nested deeper than kMaxJsonNesting, and for a version text or address holding a control
// character (refused like an unsafe path: it would forge log lines).
#pragma once

#include <cstdint>
#include <optional>
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
  // What the executable at launcherUrl must be, when the document says: its hash text (16
  // lower-case hex digits, as in the manifest; empty when not given) and its size in bytes.
  std::string hash;
  std::optional<std::uint64_t> size;
  // The publisher's signature of the executable's bytes (update/signed_content.h); empty when not
  // given. Launchers built with a signing key take no launcher without it.
  std::string signature;
};

// launcher_version.json. "hash" and "signature" must be text and "size" a whole number of bytes
// (not negative) when present.
LauncherVersionInfo ParseLauncherVersion(const std::string& text);

// Whether a launcher version text can become part of the file name "Launcher_v<version>.exe":
// not empty, and only ASCII letters, digits and . - _ +, so the name never leaves its folder
// and means the same file on every system.
bool IsUsableLauncherVersion(const std::string& version);
