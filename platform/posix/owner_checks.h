// What a file-system object must be before the launcher trusts it with its user's data: decided
// from the object's lstat() facts alone, so every case can be tried with made-up facts.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace platform {

enum class OwnerVerdict {
  Usable,
  WrongType,     // not what was expected: a link, a file, a folder where a socket should be
  OtherOwner,    // owned by another user
  OpenToOthers,  // a folder that group or others may read, write or enter
};

// A folder of `uid` that only its owner may use (a symbolic link is never one).
OwnerVerdict CheckPrivateFolder(const struct stat& facts, uid_t uid);
// A socket owned by `uid` (a symbolic link is never one).
OwnerVerdict CheckOwnSocket(const struct stat& facts, uid_t uid);

// The verdict in words, for messages: "is not a folder", "belongs to another user", ...
const char* DescribeVerdict(OwnerVerdict verdict);

}  // namespace platform
