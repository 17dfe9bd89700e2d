// Which relative file names can be published: names the launcher accepts from a manifest and
// that come out unchanged on the players' machines, Windows included.
#pragma once

#include <string>
#include <vector>

namespace publish {

// True when `text` is well-formed UTF-8 (no stray bytes, overlong forms or surrogates).
bool IsValidUtf8(const std::string& text);

// Why the relative path `path` (UTF-8 bytes, forward slashes) cannot be published; empty when it
// can.
std::string PathRefusal(const std::string& path);

// The first pair of paths in `paths` that name the same file on a case-insensitive file system
// (ASCII letters folded): two files, or a file and a folder. Both empty when there is none.
struct CaseCollision {
  std::string first;
  std::string second;
};
CaseCollision FindCaseCollision(const std::vector<std::string>& paths);

}  // namespace publish
