#include "platform/posix/owner_checks.h"

namespace platform {

OwnerVerdict CheckPrivateFolder(const struct stat& facts, uid_t uid) {
  if (!S_ISDIR(facts.st_mode)) return OwnerVerdict::WrongType;
  if (facts.st_uid != uid) return OwnerVerdict::OtherOwner;
  if ((facts.st_mode & (S_IRWXG | S_IRWXO)) != 0) return OwnerVerdict::OpenToOthers;
  return OwnerVerdict::Usable;
}

OwnerVerdict CheckOwnSocket(const struct stat& facts, uid_t uid) {
  if (!S_ISSOCK(facts.st_mode)) return OwnerVerdict::WrongType;
  if (facts.st_uid != uid) return OwnerVerdict::OtherOwner;
  return OwnerVerdict::Usable;
}

const char* DescribeVerdict(OwnerVerdict verdict) {
  switch (verdict) {
    case OwnerVerdict::Usable:
      return "is usable";
    case OwnerVerdict::WrongType:
      return "is not of the expected type (a link, or another kind of file)";
    case OwnerVerdict::OtherOwner:
      return "belongs to another user";
    case OwnerVerdict::OpenToOthers:
      return "is open to other users (its mode must be 0700)";
  }
  return "is not usable";
}

}  // namespace platform
