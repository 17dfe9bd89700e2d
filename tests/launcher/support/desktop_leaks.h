// Under LeakSanitizer, programs that use GTK and WebKit report what those libraries keep until
// the process ends (font caches, type registries, the D-Bus connection). Test programs that open
// windows compile desktop_leaks.cpp in, which suppresses reports whose allocations come from
// those libraries; the launcher programs they start get the same list through LSAN_OPTIONS.
#pragma once

#include <optional>
#include <string>

#include "tests/launcher/support/child_process.h"

namespace testing_support {

// "suppressions=<file>" for the LSAN_OPTIONS of a child process.
std::string DesktopLeakSanitizerOptions();

// The environment a test gives a launcher it starts: `display` as DISPLAY (removed when there is
// none), no Wayland, these suppressions, stack traces from UndefinedBehaviorSanitizer, then
// `extra`.
EnvironmentChanges LauncherEnvironment(std::optional<std::string> display,
                                       const EnvironmentChanges& extra = {});

}  // namespace testing_support
