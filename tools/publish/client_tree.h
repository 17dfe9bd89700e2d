// The files of a game client folder, as the publisher sees them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace publish {

struct ClientFile {
  std::string path;              // relative to the client folder, forward slashes, UTF-8
  std::filesystem::path source;  // where to read it
  std::uint64_t size = 0;
};

enum class ListingProblem {
  None,
  Refused,     // a name or an entry that cannot be published
  Unreadable,  // the file system would not tell
};

struct ClientListing {
  std::vector<ClientFile> files;  // sorted by path, byte by byte
  ListingProblem problem = ListingProblem::None;
  std::string error;  // what and where, when there is a problem
};

// Every regular file below `root`. A symbolic link is published as the file it points to when
// that file lies inside `root`; a link leading out of the folder or to a folder, and anything that
// is not a regular file (a pipe, a device), is refused. Empty folders are not published: the
// launcher creates the folders its files need.
ClientListing ListClientFiles(const std::filesystem::path& root);

// `path` as UTF-8 with forward slashes. On Windows a name that is not valid UTF-16 cannot be
// converted; `ok` is then false.
std::string GenericUtf8(const std::filesystem::path& path, bool& ok);

// Whether `inner` is `outer` or lies below it; both absolute and normalised.
bool IsWithin(const std::filesystem::path& inner, const std::filesystem::path& outer);

// `path` for messages: UTF-8 with forward slashes, or what can be shown of it.
std::string ShowPath(const std::filesystem::path& path);

}  // namespace publish
