#include "settings/game_start.h"

#include "log/log.h"
#include "platform/launcher_directory.h"
#include "platform/machine_name.h"
#include "platform/main_window.h"
#include "platform/path_separator.h"
#include "platform/window.h"
#include "settings/display_param.h"
#include "settings/display_settings.h"
#include "settings/settings_api.h"

namespace {

// The lines of the whole start belong to the bridge operation that asked for it.
constexpr char kLogFunction[] = "API_StartGame";

}  // namespace

platform::CommandLine GameCommandLine(const std::string& launcherDirectory,
                                      const std::string& encodedRecord) {
  platform::CommandLine commandLine;
  commandLine.program = launcherDirectory + platform::PathSeparator() + "Engine.atm";
  commandLine.arguments = {"D", encodedRecord};
  return commandLine;
}

bool StartGameFrom(const std::string& launcherDirectory, const std::string& machineName) {
  const DisplaySettings settings = ReadDisplaySettings().settings;
  const LAUNCHER_DISPLAY_PARAM record = MakeDisplayParam(settings);
  LogInfoAs(kLogFunction, "StartGame with: resolution=%dx%d, windowed=%d, vsync=%d, aa=%d",
            record.width, record.height, record.windowed, record.vsync, record.antiAliasing);
  LogInfoAs(kLogFunction, "sizeof(LAUNCHER_DISPLAY_PARAM)=%zu, paramSize=%zu",
            sizeof(LAUNCHER_DISPLAY_PARAM), kDisplayParamSize);

  const platform::CommandLine commandLine =
      GameCommandLine(launcherDirectory, EncodeDisplayParam(record, machineName));
  LogInfoAs(kLogFunction, "Command line: %s", platform::FormatCommandLine(commandLine).c_str());

  const platform::StartResult result = platform::StartProcess(commandLine, launcherDirectory);
  if (!result.started) {
    LogErrorAs(kLogFunction, "Failed to start Engine.atm, error=%d",
               static_cast<int>(result.errorCode));
    return false;
  }
  LogInfoAs(kLogFunction, "Engine.atm started successfully");
  // Posted, not sent: the page gets its reply before the window goes.
  platform::PostCloseWindow(mainWindow);
  return true;
}

std::string API_StartGame(const std::string& /*request*/) {
  LogInfo("StartGame called");
  const std::string directory = GetLauncherDirectory();
  return StartGameFrom(directory, platform::MachineName()) ? "true" : "false";
}
