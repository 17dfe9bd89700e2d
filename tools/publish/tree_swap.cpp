// Moving a finished patch tree to where the patch server serves it.
#include <system_error>

#include "tools/publish/staged_tree.h"

namespace publish {

namespace fs = std::filesystem;

namespace {

PublishResult Failure(PublishStatus status, std::string what, std::error_code error = {}) {
  PublishResult result;
  result.status = status;
  result.error = error ? what + ": " + error.message() : std::move(what);
  return result;
}

bool IsPublisherEntry(const fs::path& name) {
  return name == "version.json" || name == "manifest.json" || name == "manifest.json.sig" ||
         name == "files";
}

// Whatever else the served folder holds (the launcher's own documents and executable) goes into
// the new tree too.
PublishResult CarryOver(const fs::path& oldTree, const fs::path& staging) {
  std::error_code error;
  for (fs::directory_iterator it(oldTree, error), end; !error && it != end; it.increment(error)) {
    if (IsPublisherEntry(it->path().filename())) continue;
    fs::copy(it->path(), staging / it->path().filename(),
             fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error)
      return Failure(PublishStatus::IoFailed, "cannot carry over " + ShowPath(it->path()), error);
  }
  if (error) return Failure(PublishStatus::IoFailed, "cannot read " + ShowPath(oldTree), error);
  return {};
}

PublishResult SwapTrees(const fs::path& staging, const fs::path& output) {
  fs::path aside = output;
  aside += ".replaced";
  std::error_code error;
  fs::remove_all(aside, error);
  fs::rename(output, aside, error);
  if (error) return Failure(PublishStatus::IoFailed, "cannot move " + ShowPath(output), error);
  fs::rename(staging, output, error);
  if (error) {
    std::error_code ignored;
    fs::rename(aside, output, ignored);
    return Failure(PublishStatus::IoFailed, "cannot move the new tree to " + ShowPath(output),
                   error);
  }
  fs::remove_all(aside, error);
  return {};
}

}  // namespace

PublishResult MoveIntoPlace(const fs::path& staging, const fs::path& output, bool replace) {
  std::error_code error;
  const bool exists = fs::exists(output, error);
  if (error) return Failure(PublishStatus::IoFailed, "cannot read " + ShowPath(output), error);
  if (exists && fs::is_empty(output, error) && !error) {
    fs::remove(output, error);  // Windows will not rename onto an existing folder
    if (error) return Failure(PublishStatus::IoFailed, "cannot replace " + ShowPath(output), error);
  } else if (exists) {
    if (!replace)
      return Failure(PublishStatus::Refused,
                     ShowPath(output) + " already holds files; pass --replace to replace them");
    if (PublishResult result = CarryOver(output, staging);
        result.status != PublishStatus::Published)
      return result;
    return SwapTrees(staging, output);
  }
  fs::rename(staging, output, error);
  if (error)
    return Failure(PublishStatus::IoFailed, "cannot move the tree to " + ShowPath(output), error);
  return {};
}

}  // namespace publish
