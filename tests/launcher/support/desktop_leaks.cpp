#include "tests/launcher/support/desktop_leaks.h"

#include "tests/support/temp_dir.h"

namespace {

// Allocations whose recorded stack reaches no further than these libraries.
constexpr char kSuppressions[] =
    "leak:libfontconfig.so\n"
    "leak:libdbus-1.so\n"
    "leak:libjavascriptcoregtk-4.1.so\n"
    "leak:libwebkit2gtk-4.1.so\n"
    "leak:libglib-2.0.so\n"
    "leak:libgobject-2.0.so\n"
    "leak:libgio-2.0.so\n"
    "leak:libgtk-3.so\n"
    "leak:libgdk-3.so\n"
    "leak:libpango-1.0.so\n"
    "leak:libpangoft2-1.0.so\n"
    "leak:libcairo.so\n"
    "leak:libharfbuzz.so\n"
    "leak:libX11.so\n"
    "leak:libEGL_mesa.so\n"
    "leak:libgallium\n";

}  // namespace

extern "C" const char* __lsan_default_suppressions() {
  return kSuppressions;
}

namespace testing_support {

std::string DesktopLeakSanitizerOptions() {
  static const TempDir folder("velmora-lsan");
  static const std::string path = folder.Write("desktop.supp", kSuppressions).string();
  return "suppressions=\"" + path + "\"";  // quoted: the folder name holds a space
}

EnvironmentChanges LauncherEnvironment(std::optional<std::string> display,
                                       const EnvironmentChanges& extra) {
  EnvironmentChanges changes{{"DISPLAY", std::move(display)},
                             {"WAYLAND_DISPLAY", std::nullopt},
                             {"LSAN_OPTIONS", DesktopLeakSanitizerOptions()},
                             {"UBSAN_OPTIONS", "print_stacktrace=1"}};
  changes.insert(changes.end(), extra.begin(), extra.end());
  return changes;
}

}  // namespace testing_support
