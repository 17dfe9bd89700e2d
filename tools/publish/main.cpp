// publish: turns a game client folder into the patch tree the launcher updates from, and puts a
// new launcher into that tree.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/publish/launcher_release.h"
#include "tools/publish/publisher.h"
#include "tools/publish/signing.h"

namespace {

constexpr const char* kHelp =
    "usage: publish [--replace] [--quiet] [--sign <private key>] <client folder> <version>\n"
    "               <output folder>\n"
    "       publish --launcher [--sign <private key>] <Launcher.exe> <version> <output folder>\n"
    "               <patch url>\n"
    "       publish keygen <private key> <public key>\n"
    "\n"
    "Writes the patch tree of one game version into <output folder>:\n"
    "  version.json    the version and the hash of manifest.json\n"
    "  manifest.json   every file of the client: path, hash and size\n"
    "  files/          a copy of every file, under its path\n"
    "Serve <output folder> as the patch server's base (the launcher's .../patch/).\n"
    "\n"
    "The tree is written beside the output and renamed into place when complete, so a failure\n"
    "leaves the output as it was. Names that the launcher or Windows would not take unchanged\n"
    "are refused, as are links leading out of the client folder.\n"
    "\n"
    "  --replace   replace an output folder that already holds a tree; its other entries (the\n"
    "              launcher's own documents) are kept\n"
    "  --quiet     no progress lines on stderr\n"
    "  --sign <private key>\n"
    "              also write manifest.json.sig, the signature of manifest.json with the key\n"
    "              (a PEM file that publish keygen wrote). A launcher built with the public half\n"
    "              (-DVELMORA_SIGNING_KEY=...) takes a manifest only with its signature.\n"
    "              With --launcher: launcher_version.json also names the signature of the\n"
    "              executable (\"signature\"), without which such launchers refuse it.\n"
    "\n"
    "publish keygen writes a new signing key pair: <private key> in PEM form, readable by its\n"
    "owner only (keep it off the patch server), and <public key>, one line of 128 hexadecimal\n"
    "digits to build the launcher with. Neither file may exist yet. Make the pair once; every\n"
    "launcher built with the public half trusts only what the private key signs.\n"
    "\n"
    "With --launcher it publishes a new launcher into the same tree instead: the executable\n"
    "becomes Launcher_v<version>.exe and launcher_version.json names its version, its address\n"
    "(<patch url>, the address the output folder is served at, ending in /, followed by the\n"
    "file name), its hash and its size. Launchers older than <version> download it, keep it\n"
    "only when hash and size match, and hand over to it. <version> must be the version built\n"
    "into the executable, begin with a digit and hold only ASCII letters, digits and . - _ +.\n"
    "The game's documents and files in the folder are left alone; publish the game first, as\n"
    "publishing a game into a folder that holds files needs --replace, which keeps the\n"
    "launcher's files.\n"
    "\n"
    "Signed publishing, start to finish:\n"
    "  1. once:             publish keygen studio.pem studio.pub\n"
    "  2. build launchers:  cmake --preset windows -DVELMORA_SIGNING_KEY=$(cat studio.pub)\n"
    "                       cmake --build --preset windows\n"
    "  3. each game:        publish --sign studio.pem [--replace] <client folder> <version>\n"
    "                                <output folder>\n"
    "  4. each launcher:    publish --launcher --sign studio.pem <Launcher.exe> <version>\n"
    "                                <output folder> <patch url>\n"
    "Such a launcher refuses an unsigned or wrongly signed manifest (\"Failed to parse\n"
    "manifest\") and an unsigned or wrongly signed launcher (\"Failed to download launcher\n"
    "update\"); publishing without --sign suits only launchers built without a key.\n"
    "\n"
    "Exit codes:\n"
    "  0  published\n"
    "  1  wrong command line\n"
    "  2  refused: missing client folder, a name that cannot be published, a bad version text,\n"
    "     an output folder that already holds files (without --replace); with --launcher: a\n"
    "     missing executable, a bad version text or patch url; a signing key that cannot be\n"
    "     read; keygen: a key file that exists already\n"
    "  3  a file could not be read or the tree could not be written\n";

struct Options {
  bool launcher = false;
  bool replace = false;
  bool quiet = false;
  std::string signingKey;  // the private key file of --sign
  std::vector<std::string> operands;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--launcher") == 0) {
      options.launcher = true;
    } else if (std::strcmp(argv[i], "--replace") == 0) {
      options.replace = true;
    } else if (std::strcmp(argv[i], "--quiet") == 0) {
      options.quiet = true;
    } else if (std::strcmp(argv[i], "--sign") == 0 && i + 1 < argc) {
      options.signingKey = argv[++i];
    } else if (std::strncmp(argv[i], "--", 2) == 0) {
      return false;
    } else {
      options.operands.emplace_back(argv[i]);
    }
  }
  if (options.launcher) return !options.replace && options.operands.size() == 4;
  return options.operands.size() == 3;
}

// One line a second at most, so small trees print nothing.
class ProgressPrinter {
 public:
  void operator()(const publish::PublishProgress& progress) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::seconds(1)) return;
    last_ = now;
    std::fprintf(stderr, "publish: %zu/%zu files, %llu/%llu MiB\n", progress.filesDone,
                 progress.filesTotal, static_cast<unsigned long long>(progress.bytesDone >> 20),
                 static_cast<unsigned long long>(progress.bytesTotal >> 20));
  }

 private:
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// The signer of --sign, or nothing (with the reason on stderr) when the key cannot be used.
std::shared_ptr<publish::Signer> LoadSigner(const std::string& keyFile) {
  std::string error;
  std::shared_ptr<publish::Signer> signer =
      publish::Signer::Load(std::filesystem::u8path(keyFile), error);
  if (!signer) std::fprintf(stderr, "publish: %s\n", error.c_str());
  return signer;
}

int PublishLauncher(const Options& options) {
  publish::LauncherRelease release{
      std::filesystem::u8path(options.operands[0]), options.operands[1],
      std::filesystem::u8path(options.operands[2]), options.operands[3]};
  if (!options.signingKey.empty()) {
    const std::shared_ptr<publish::Signer> signer = LoadSigner(options.signingKey);
    if (!signer) return static_cast<int>(publish::PublishStatus::Refused);
    release.signExecutable = [signer](const std::filesystem::path& file) {
      return signer->SignFile(file);
    };
  }
  const publish::PublishResult result = publish::PublishLauncher(release);
  if (result.status != publish::PublishStatus::Published) {
    std::fprintf(stderr, "publish: %s\n", result.error.c_str());
    return static_cast<int>(result.status);
  }
  std::printf("Published launcher %s: %llu bytes in %s\n", release.version.c_str(),
              static_cast<unsigned long long>(result.bytes), options.operands[2].c_str());
  return 0;
}

int MakeKeys(const std::string& privateKey, const std::string& publicKey) {
  const publish::PublishResult made =
      publish::MakeKeyPair(std::filesystem::u8path(privateKey), std::filesystem::u8path(publicKey));
  if (made.status != publish::PublishStatus::Published) {
    std::fprintf(stderr, "publish: %s\n", made.error.c_str());
    return static_cast<int>(made.status);
  }
  std::printf("Signing key written to %s (keep it secret); public key to %s\n", privateKey.c_str(),
              publicKey.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "keygen") == 0) {
    if (argc != 4) {
      std::fputs(kHelp, stderr);
      return 1;
    }
    return MakeKeys(argv[2], argv[3]);
  }
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kHelp, stderr);
    return 1;
  }
  if (options.launcher) return PublishLauncher(options);
  publish::PublishRequest request{std::filesystem::u8path(options.operands[0]), options.operands[1],
                                  std::filesystem::u8path(options.operands[2]), options.replace};
  if (!options.signingKey.empty()) {
    const std::shared_ptr<publish::Signer> signer = LoadSigner(options.signingKey);
    if (!signer) return static_cast<int>(publish::PublishStatus::Refused);
    request.signManifest = [signer](std::string_view manifest) { return signer->Sign(manifest); };
  }
  publish::ProgressCallback progress;
  if (!options.quiet) progress = ProgressPrinter();
  const publish::PublishResult result = publish::Publish(request, progress);
  if (result.status != publish::PublishStatus::Published) {
    std::fprintf(stderr, "publish: %s\n", result.error.c_str());
    return static_cast<int>(result.status);
  }
  std::printf("Published version %s: %zu files, %llu bytes in %s\n", request.version.c_str(),
              result.files, static_cast<unsigned long long>(result.bytes),
              options.operands[2].c_str());
  return 0;
}
