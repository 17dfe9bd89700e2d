// Publishing a launcher: the executable in the patch tree and launcher_version.json naming it, so
// that every older launcher fetches it, checks it and hands over to it.
#pragma once

#include <filesystem>
#include <string>

#include "tools/publish/publisher.h"

namespace publish {

struct LauncherRelease {
  std::filesystem::path executable;  // the new Launcher.exe
  std::string version;               // its version text, as built into it
  std::filesystem::path output;      // the patch tree: the folder served as the patch server's base
  std::string baseUrl;               // the address that folder is served at, ending in "/"
  // When set, signs the executable as published (its signature text, empty when signing failed)
  // into launcher_version.json's "signature"; launchers built with a signing key need it.
  FileSigner signExecutable = {};
};

// Copies the executable into `output` as Launcher_v<version>.exe, then writes
// launcher_version.json with the version, the executable's address, hash and size (and its
// signature when `signExecutable` is set). Each file is
// written under a temporary name and renamed into place, the executable first, so a launcher
// reading the tree meanwhile finds the old release or the whole new one. The game's documents
// and files in `output` are left alone.
PublishResult PublishLauncher(const LauncherRelease& release);

// Why `version` cannot be published as a launcher version; empty when it can.
std::string LauncherVersionRefusal(const std::string& version);

}  // namespace publish
