// A stand-in launcher for the hand-over under wine, where the real one cannot open its window.
// Started with --upgrade it runs HandleUpgradeMode as the launcher does and ends with code 0 when
// that says so. Every start that goes on as a normal start appends its own path, working folder
// and command line to started.txt in its folder and ends with code 10.
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "launcher/upgrade.h"
#include "launcher/upgrade_switch.h"
#include "platform/launcher_directory.h"
#include "platform/text.h"

int main() {
  if (CommandLineRequestsUpgrade(GetCommandLineA()) && !HandleUpgradeMode()) return 0;
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  const std::filesystem::path record =
      std::filesystem::path(Utf8ToUtf16(GetLauncherDirectory().c_str())) / L"started.txt";
  std::ofstream(record, std::ios::app | std::ios::binary) << GetExecutablePath() << "\n"
                                                          << Utf16ToUtf8(folder) << "\n"
                                                          << Utf16ToUtf8(GetCommandLineW()) << "\n";
  return 10;
}
