// Under LeakSanitizer, programs that use GTK and WebKit report what those libraries keep until
// the process ends (font caches, type registries, the D-Bus connection). Test programs that open
// windows compile desktop_leaks.cpp in, which suppresses reports whose allocations come from
// those libraries; the launcher programs they start get the same list through LSAN_OPTIONS.
#pragma once

#include <string>

namespace testing_support {

// "suppressions=<file>" for the LSAN_OPTIONS of a child process.
std::string DesktopLeakSanitizerOptions();

}  // namespace testing_support
