// The update operations behind the page's bound functions. Start, cancel and apply requests
// always answer "true" (apply: "false" when nothing is ready); the outcome shows in the status.
#include "update/update_api.h"

#include "log/log.h"
#include "update/update_manager.h"

std::string API_GetUpdateStatus(const std::string&) {
  return UpdateManager::Instance().GetStatusJson();
}

std::string API_CheckUpdate(const std::string&) {
  LogInfo("CheckUpdate called");
  UpdateManager::Instance().CheckUpdate();
  return "true";
}

std::string API_FixClient(const std::string&) {
  LogInfo("FixClient called");
  UpdateManager::Instance().FixClient();
  return "true";
}

std::string API_CancelUpdate(const std::string&) {
  LogInfo("CancelUpdate called");
  UpdateManager::Instance().CancelUpdate();
  return "true";
}

std::string API_CheckLauncherUpdate(const std::string&) {
  LogInfo("CheckLauncherUpdate called");
  UpdateManager::Instance().CheckLauncherUpdate();
  return "true";
}

std::string API_ApplyLauncherUpdate(const std::string&) {
  LogInfo("ApplyLauncherUpdate called");
  UpdateManager& manager = UpdateManager::Instance();
  if (!manager.IsLauncherUpdateReady()) return "false";
  manager.ApplyLauncherUpdate();
  return "true";
}
