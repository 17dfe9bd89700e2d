#include "launcher/upgrade.h"

#include "launcher/upgrade_handover.h"
#include "platform/launcher_directory.h"
#include "platform/launcher_files.h"
#include "platform/path_separator.h"
#include "platform/process.h"

bool HandleUpgradeMode() {
  const upgrade::HandOverOperations system{
      platform::SleepMilliseconds,      platform::ListMatchingEntries, platform::DeleteOneFile,
      platform::RenameWithoutReplacing, platform::StartProcess,
  };
  return upgrade::RunHandOver(
      upgrade::HandOverPathsFor(GetExecutablePath(), platform::PathSeparator()), system);
}
