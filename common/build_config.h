// Settings compiled into each launcher program (cmake/VelmoraBuildConfig.cmake generates the
// definitions for every executable from VELMORA_PATCH_URL, VELMORA_CA_BUNDLE,
// VELMORA_LAUNCHER_VERSION and VELMORA_SIGNING_KEY).
#pragma once

namespace build_config {

// Base URL of the patch server, ending in "/patch/".
extern const char* const kPatchUrl;
// The information page: the patch server's scheme and host with the path "/mini/".
extern const char* const kInfoPageUrl;
// A file of PEM certificates that the patch server's certificate must chain to instead of the
// system's store (Linux); empty, as in the product: the system's store.
extern const char* const kCaBundle;
// This launcher's version text.
extern const char* const kLauncherVersion;
// The public key that the manifest and a new launcher must be signed with: 128 lower-case
// hexadecimal digits (update/signed_content.h), or empty when this build checks no signatures.
extern const char* const kSigningKey;

}  // namespace build_config
