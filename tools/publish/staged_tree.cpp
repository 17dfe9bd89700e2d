#include "tools/publish/staged_tree.h"

#include <fstream>
#include <system_error>

#include "tools/publish/patch_documents.h"
#include "update/file_hash.h"

namespace publish {

namespace fs = std::filesystem;

namespace {

// HashFile takes UTF-8; staged paths are built from UTF-8 names, so they convert.
std::string Utf8(const fs::path& path) {
  return ShowPath(path);
}

PublishResult IoFailure(std::string what, std::error_code error = {}) {
  PublishResult result;
  result.status = PublishStatus::IoFailed;
  result.error = error ? what + ": " + error.message() : std::move(what);
  return result;
}

bool WriteTextFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  return static_cast<bool>(out);
}

// The copy is made readable by everyone, whatever the client file's mode: a patch server
// running under another account must be able to serve it.
PublishResult CopyOne(const ClientFile& file, const fs::path& target, PublishedFile& published) {
  std::error_code error;
  fs::create_directories(target.parent_path(), error);
  if (error) return IoFailure("cannot create " + Utf8(target.parent_path()), error);
  fs::copy_file(file.source, target, fs::copy_options::overwrite_existing, error);
  if (error) return IoFailure("cannot copy " + Utf8(file.source), error);
  constexpr auto kReadable = fs::perms::owner_read | fs::perms::owner_write |
                             fs::perms::group_read | fs::perms::others_read;
  fs::permissions(target, kReadable, fs::perm_options::replace, error);
  if (error) return IoFailure("cannot make " + Utf8(target) + " readable", error);
  published.size = fs::file_size(target, error);
  if (error) return IoFailure("cannot read " + Utf8(target), error);
  published.path = file.path;
  published.hash = HashFile(Utf8(target));
  if (published.hash.empty()) return IoFailure("cannot read " + Utf8(target));
  return {};
}

PublishResult WriteDocuments(const fs::path& staging, const std::string& version,
                             const std::vector<PublishedFile>& published,
                             const DocumentSigner& signManifest) {
  const fs::path manifest = staging / "manifest.json";
  const std::string manifestText = ManifestText(version, published);
  if (!WriteTextFile(manifest, manifestText)) return IoFailure("cannot write " + Utf8(manifest));
  if (signManifest) {
    const std::string signature = signManifest(manifestText);
    if (signature.empty()) return IoFailure("cannot sign " + Utf8(manifest));
    const fs::path signatureFile = staging / "manifest.json.sig";
    if (!WriteTextFile(signatureFile, signature + "\n"))
      return IoFailure("cannot write " + Utf8(signatureFile));
  }
  const std::string manifestHash = HashFile(Utf8(manifest));
  if (manifestHash.empty()) return IoFailure("cannot read " + Utf8(manifest));
  const fs::path versionFile = staging / "version.json";
  if (!WriteTextFile(versionFile, VersionText(version, manifestHash)))
    return IoFailure("cannot write " + Utf8(versionFile));
  return {};
}

}  // namespace

PublishResult WriteStagedTree(const fs::path& staging, const std::string& version,
                              const std::vector<ClientFile>& files,
                              const DocumentSigner& signManifest,
                              const ProgressCallback& progress) {
  PublishProgress done{0, files.size(), 0, 0};
  for (const auto& file : files)
    done.bytesTotal += file.size;

  std::vector<PublishedFile> published(files.size());
  std::error_code error;
  fs::create_directories(staging / "files", error);
  if (error) return IoFailure("cannot create " + Utf8(staging / "files"), error);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const fs::path target = staging / "files" / fs::u8path(files[i].path);
    if (PublishResult result = CopyOne(files[i], target, published[i]);
        result.status != PublishStatus::Published)
      return result;
    ++done.filesDone;
    done.bytesDone += files[i].size;
    if (progress) progress(done);
  }
  PublishResult result = WriteDocuments(staging, version, published, signManifest);
  result.files = published.size();
  for (const auto& file : published)
    result.bytes += file.size;
  return result;
}

}  // namespace publish
