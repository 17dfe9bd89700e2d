// Writing a patch tree into a folder of its own and moving it into place.
#pragma once

#include <filesystem>
#include <vector>

#include "tools/publish/client_tree.h"
#include "tools/publish/publisher.h"

namespace publish {

// Copies every file into `staging`/files/, hashes each copy (the bytes that will be served, even
// if the client changes meanwhile) and writes manifest.json and version.json beside them, and
// manifest.json.sig when `signManifest` is set.
PublishResult WriteStagedTree(const std::filesystem::path& staging, const std::string& version,
                              const std::vector<ClientFile>& files,
                              const DocumentSigner& signManifest, const ProgressCallback& progress);

// Puts the finished `staging` tree at `output`. An existing `output` must be empty unless
// `replace` is set; then its foreign entries are copied into the new tree first, the old tree is
// moved aside, the new one renamed into place and the old one removed. On failure the old tree
// is put back.
PublishResult MoveIntoPlace(const std::filesystem::path& staging,
                            const std::filesystem::path& output, bool replace);

}  // namespace publish
