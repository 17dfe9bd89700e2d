// The requests the engine tests use besides the patch tree (tests/update/loopback_server.h lists
// them), as replies: status pages, pattern bodies, redirects and the misbehaving ones.
#pragma once

#include <httplib.h>

#include <filesystem>
#include <optional>

#include "tools/patchserver/reply.h"

namespace patchserver {

// The reply to `request` when it is one of those requests; `root` is the folder served at /patch/.
std::optional<Reply> TestRequest(const std::filesystem::path& root,
                                 const httplib::Request& request);

}  // namespace patchserver
