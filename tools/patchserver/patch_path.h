// Which file of the served folder a request path names, if any.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace patchserver {

// The file `relative` (the decoded request path after "/patch/") names inside `root`: nothing when
// it is empty, absolute, holds a backslash, a NUL, or an empty, "." or ".." component, or when the
// file it resolves to (links followed) is not a regular file inside `root`.
std::optional<std::filesystem::path> ResolveServedFile(const std::filesystem::path& root,
                                                       const std::string& relative);

// The Content-Type sent with a served file, from its extension.
std::string ContentTypeFor(const std::filesystem::path& file);

}  // namespace patchserver
