// Starting the game, Engine.atm in the launcher's folder, with the stored display settings.
#pragma once

#include <string>

#include "platform/process.h"

// "<folder><separator>Engine.atm" with the arguments D and the 46-digit record; its text form
// is the quoted path, " D " and the digits.
platform::CommandLine GameCommandLine(const std::string& launcherDirectory,
                                      const std::string& encodedRecord);

// Starts the game from `launcherDirectory`, which is also its working folder, with the record
// keyed with `machineName`, and logs each step under API_StartGame. When the game has started
// the launcher window is asked to close (if there is one) and the result is true; otherwise the
// system's error code is logged and the window stays open.
bool StartGameFrom(const std::string& launcherDirectory, const std::string& machineName);
