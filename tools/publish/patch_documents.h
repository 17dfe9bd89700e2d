// The two documents of a published patch tree, as text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace publish {

struct PublishedFile {
  std::string path;  // relative, forward slashes, UTF-8
  std::string hash;  // the launcher's hash text: 16 lower-case hexadecimal digits
  std::uint64_t size = 0;
};

// manifest.json: {"version": ..., "files": [{"path", "hash", "size"}, ...]} in the given order,
// indented by two spaces, ending in a line feed.
std::string ManifestText(const std::string& version, const std::vector<PublishedFile>& files);

// version.json: {"version": ..., "manifest_hash": ...}. It names no "manifest_url", so the
// launcher fetches the manifest beside it.
std::string VersionText(const std::string& version, const std::string& manifestHash);

// launcher_version.json: {"version", "launcher_url", "hash", "size"[, "signature"]}: the launcher
// downloads the executable at `url` when `version` is newer than its own and keeps it only when
// the download's hash text and size are these (and, when it was built with a signing key, when
// `signature` is the key's signature of its bytes). No "signature" member when it is empty.
std::string LauncherVersionText(const std::string& version, const std::string& url,
                                const std::string& hash, std::uint64_t size,
                                const std::string& signature = "");

// Why `version` cannot be published; empty when it can. The launcher compares the text byte for
// byte with the first line of its local_version.txt, so a line break or other control character
// would make every run update again.
std::string VersionRefusal(const std::string& version);

}  // namespace publish
