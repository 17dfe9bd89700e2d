// Publishing a game client: turns a folder holding one version of the client into the patch tree
// the launcher reads (version.json, manifest.json and files/).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace publish {

// Signs a document or a file: its signature text (update/signed_content.h), or empty when
// signing failed.
using DocumentSigner = std::function<std::string(std::string_view document)>;
using FileSigner = std::function<std::string(const std::filesystem::path& file)>;

struct PublishRequest {
  std::filesystem::path client;  // folder holding the game client
  std::string version;           // the version text players will see
  std::filesystem::path output;  // the patch tree to write; served as the patch server's base
  // Whether an existing, non-empty output folder may be replaced. Its entries other than
  // version.json, manifest.json and files/ (the launcher's own documents, for example) are
  // carried over into the new tree.
  bool replace = false;
  // When set, manifest.json is signed into manifest.json.sig beside it (launchers built with a
  // signing key accept only a signed manifest). Without it the tree has no manifest.json.sig, and
  // a replaced tree loses the old one, which would not fit the new manifest.
  DocumentSigner signManifest = {};
};

// The exit codes of the command, one per outcome.
enum class PublishStatus {
  Published = 0,
  Refused = 2,   // bad input: missing client folder, a name that cannot be published, ...
  IoFailed = 3,  // a file could not be read or the tree could not be written
};

struct PublishResult {
  PublishStatus status = PublishStatus::Published;
  std::string error;  // what went wrong, naming the file or folder
  std::size_t files = 0;
  std::uint64_t bytes = 0;
};

struct PublishProgress {
  std::size_t filesDone = 0;
  std::size_t filesTotal = 0;
  std::uint64_t bytesDone = 0;
  std::uint64_t bytesTotal = 0;
};
using ProgressCallback = std::function<void(const PublishProgress&)>;

// Writes the tree into a temporary folder beside `output` and renames it into place only when it
// is complete, so a failure leaves the output as it was and nothing half-written behind.
// `progress` is called after each file.
PublishResult Publish(const PublishRequest& request, const ProgressCallback& progress = {});

}  // namespace publish
