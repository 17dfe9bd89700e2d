// local_version.txt: the game version installed in the launcher folder.
#pragma once

#include <string>

// The first line of the file without its line end (LF or CR LF); empty when the file is missing,
// unreadable or empty. `path` is UTF-8.
std::string ReadLocalVersion(const std::string& path);

// Stores `version` with nothing after it. The text goes to a temporary file beside `path` that
// replaces it only when written completely. Returns false when that fails; the old file is then
// unchanged.
bool WriteLocalVersion(const std::string& path, const std::string& version);
