#include "tools/publish/publisher.h"

#include <chrono>
#include <random>
#include <system_error>

#include "tools/publish/client_tree.h"
#include "tools/publish/file_name_rules.h"
#include "tools/publish/patch_documents.h"
#include "tools/publish/staged_tree.h"

namespace publish {

namespace fs = std::filesystem;

namespace {

PublishResult Refusal(std::string what) {
  return {PublishStatus::Refused, std::move(what), 0, 0};
}

// Absolute, normalised, without a trailing separator (so that "out/" has the name "out").
fs::path CleanFolder(const fs::path& folder) {
  fs::path clean = fs::absolute(folder).lexically_normal();
  return clean.has_filename() ? clean : clean.parent_path();
}

PublishResult CheckFolders(const fs::path& client, const fs::path& output, bool replace) {
  std::error_code error;
  if (!fs::exists(client, error)) return Refusal("client folder not found: " + ShowPath(client));
  if (!fs::is_directory(client, error)) return Refusal(ShowPath(client) + " is not a folder");
  const fs::path realClient = fs::canonical(client, error);
  const fs::path realOutput = fs::weakly_canonical(output, error);
  if (IsWithin(realOutput, realClient) || IsWithin(realClient, realOutput))
    return Refusal("the output folder and the client folder must not lie inside each other");
  if (!fs::exists(output, error)) return {};
  if (!fs::is_directory(output, error)) return Refusal(ShowPath(output) + " is not a folder");
  if (!replace && !fs::is_empty(output, error))
    return Refusal(ShowPath(output) + " already holds files; pass --replace to replace them");
  return {};
}

PublishResult CheckNames(const ClientListing& listing) {
  if (listing.problem == ListingProblem::Refused) return Refusal(listing.error);
  if (listing.problem == ListingProblem::Unreadable)
    return {PublishStatus::IoFailed, listing.error, 0, 0};
  std::vector<std::string> paths;
  for (const auto& file : listing.files)
    paths.push_back(file.path);
  if (const CaseCollision same = FindCaseCollision(paths); !same.first.empty())
    return Refusal("\"" + same.first + "\" and \"" + same.second +
                   "\" differ only in case: they would be one file on Windows");
  return {};
}

// A hidden folder beside the output, so the final rename stays on one file system.
fs::path StagingFolder(const fs::path& output) {
  std::random_device entropy;
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path staging = output.parent_path() / ".";
  staging += output.filename();
  staging += ".publishing-" + std::to_string(entropy() ^ static_cast<unsigned>(stamp));
  return staging;
}

PublishResult PublishListed(const PublishRequest& request, const fs::path& output,
                            const std::vector<ClientFile>& files,
                            const ProgressCallback& progress) {
  const fs::path staging = StagingFolder(output);
  PublishResult result =
      WriteStagedTree(staging, request.version, files, request.signManifest, progress);
  if (result.status == PublishStatus::Published) {
    PublishResult moved = MoveIntoPlace(staging, output, request.replace);
    moved.files = result.files;
    moved.bytes = result.bytes;
    result = moved;
  }
  std::error_code ignored;
  fs::remove_all(staging, ignored);  // gone already after a successful move
  return result;
}

}  // namespace

PublishResult Publish(const PublishRequest& request, const ProgressCallback& progress) {
  if (const std::string refusal = VersionRefusal(request.version); !refusal.empty())
    return Refusal(refusal);
  const fs::path client = CleanFolder(request.client);
  const fs::path output = CleanFolder(request.output);
  if (PublishResult checked = CheckFolders(client, output, request.replace);
      checked.status != PublishStatus::Published)
    return checked;
  const ClientListing listing = ListClientFiles(client);
  if (PublishResult checked = CheckNames(listing); checked.status != PublishStatus::Published)
    return checked;
  return PublishListed(request, output, listing.files, progress);
}

}  // namespace publish
