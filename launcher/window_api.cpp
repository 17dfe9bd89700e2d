#include "launcher/window_api.h"

#include <nlohmann/json.hpp>

#include "common/build_config.h"
#include "log/log.h"
#include "platform/main_window.h"

std::string API_MinimizeWindow(const std::string&) {
  LogInfo("MinimizeWindow called");
  platform::MinimizeWindow(mainWindow);
  return "true";
}

std::string API_CloseWindow(const std::string&) {
  LogInfo("CloseWindow called");
  platform::PostCloseWindow(mainWindow);
  return "true";
}

std::string API_GetLauncherVersion(const std::string&) {
  return nlohmann::json(build_config::kLauncherVersion).dump();
}
