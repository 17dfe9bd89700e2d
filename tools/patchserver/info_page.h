// The small information page the launcher shows in its "Info" tab.
#pragma once

namespace patchserver {

extern const char kInfoPage[];

}  // namespace patchserver
