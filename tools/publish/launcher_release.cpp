#include "tools/publish/launcher_release.h"

#include <fstream>
#include <system_error>

#include "tools/publish/client_tree.h"
#include "tools/publish/patch_documents.h"
#include "update/file_hash.h"
#include "update/version_documents.h"

namespace publish {

namespace fs = std::filesystem;

namespace {

PublishResult Failure(PublishStatus status, std::string what, std::error_code error = {}) {
  PublishResult result;
  result.status = status;
  result.error = error ? what + ": " + error.message() : std::move(what);
  return result;
}

std::string UrlRefusal(const std::string& url) {
  const bool web = url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
  if (!web || url.back() != '/')
    return "the patch server address must be an http:// or https:// URL ending in /: " + url;
  return {};
}

fs::path Hidden(const fs::path& folder, const std::string& name) {
  return folder / fs::u8path("." + name + ".publishing");
}

// The copy is readable by everyone, so a patch server under another account can serve it.
PublishResult CopyExecutable(const LauncherRelease& release, const fs::path& target,
                             PublishedFile& published) {
  std::error_code error;
  fs::copy_file(release.executable, target, fs::copy_options::overwrite_existing, error);
  if (error)
    return Failure(PublishStatus::IoFailed, "cannot copy " + ShowPath(release.executable), error);
  constexpr auto kReadable = fs::perms::owner_read | fs::perms::owner_write |
                             fs::perms::group_read | fs::perms::others_read;
  fs::permissions(target, kReadable, fs::perm_options::replace, error);
  if (!error) published.size = fs::file_size(target, error);
  published.hash = error ? std::string() : HashFile(ShowPath(target));
  if (published.hash.empty())
    return Failure(PublishStatus::IoFailed, "cannot read " + ShowPath(target), error);
  return {};
}

PublishResult WriteDocument(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) return Failure(PublishStatus::IoFailed, "cannot write " + ShowPath(path));
  return {};
}

PublishResult MoveIntoPlace(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::rename(from, to, error);
  if (!error) return {};
  fs::remove(from, error);
  return Failure(PublishStatus::IoFailed, "cannot move " + ShowPath(from) + " to " + ShowPath(to),
                 error);
}

PublishResult CheckRelease(const LauncherRelease& release) {
  if (const std::string refusal = LauncherVersionRefusal(release.version); !refusal.empty())
    return Failure(PublishStatus::Refused, refusal);
  if (const std::string refusal = UrlRefusal(release.baseUrl); !refusal.empty())
    return Failure(PublishStatus::Refused, refusal);
  std::error_code error;
  if (!fs::is_regular_file(release.executable, error))
    return Failure(PublishStatus::Refused, "launcher not found: " + ShowPath(release.executable));
  fs::create_directories(release.output, error);
  if (error || !fs::is_directory(release.output, error))
    return Failure(PublishStatus::Refused, ShowPath(release.output) + " is not a folder", error);
  return {};
}

}  // namespace

std::string LauncherVersionRefusal(const std::string& version) {
  if (!IsUsableLauncherVersion(version))
    return "the launcher version may hold only ASCII letters, digits and . - _ +: it becomes part "
           "of a file name";
  if (version.front() < '0' || version.front() > '9')
    return "the launcher version must begin with a digit: launchers compare versions by their "
           "numbers";
  return {};
}

PublishResult PublishLauncher(const LauncherRelease& release) {
  if (PublishResult checked = CheckRelease(release); checked.status != PublishStatus::Published)
    return checked;
  const std::string name = "Launcher_v" + release.version + ".exe";
  const fs::path executable = release.output / fs::u8path(name);
  PublishedFile published;
  const fs::path stagedExecutable = Hidden(release.output, name);
  PublishResult result = CopyExecutable(release, stagedExecutable, published);
  // Signed as copied, before it takes its name: the bytes launchers download are the copy's.
  std::string signature;
  if (result.status == PublishStatus::Published && release.signExecutable) {
    signature = release.signExecutable(stagedExecutable);
    if (signature.empty())
      result = Failure(PublishStatus::IoFailed, "cannot sign " + ShowPath(release.executable));
  }
  if (result.status == PublishStatus::Published)
    result = MoveIntoPlace(stagedExecutable, executable);
  if (result.status != PublishStatus::Published) {
    std::error_code ignored;
    fs::remove(stagedExecutable, ignored);
    return result;
  }

  const fs::path document = release.output / "launcher_version.json";
  const fs::path stagedDocument = Hidden(release.output, "launcher_version.json");
  result =
      WriteDocument(stagedDocument, LauncherVersionText(release.version, release.baseUrl + name,
                                                        published.hash, published.size, signature));
  if (result.status == PublishStatus::Published) result = MoveIntoPlace(stagedDocument, document);
  if (result.status != PublishStatus::Published) {
    std::error_code ignored;
    fs::remove(stagedDocument, ignored);
    return result;
  }
  result.files = 1;
  result.bytes = published.size;
  return result;
}

}  // namespace publish
