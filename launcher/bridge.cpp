#include "launcher/bridge.h"

#include "launcher/window_api.h"
#include "settings/settings_api.h"
#include "update/update_api.h"

namespace launcher {

namespace {

constexpr BridgeFunction kBridgeFunctions[] = {
    {"api_startGame", API_StartGame},
    {"api_getConfig", API_GetConfig},
    {"api_saveConfig", API_SaveConfig},
    {"api_getResolutions", API_GetResolutions},
    {"api_getUpdateStatus", API_GetUpdateStatus},
    {"api_checkUpdate", API_CheckUpdate},
    {"api_fixClient", API_FixClient},
    {"api_cancelUpdate", API_CancelUpdate},
    {"api_checkLauncherUpdate", API_CheckLauncherUpdate},
    {"api_applyLauncherUpdate", API_ApplyLauncherUpdate},
    {"api_minimizeWindow", API_MinimizeWindow},
    {"api_closeWindow", API_CloseWindow},
    {"api_getLauncherVersion", API_GetLauncherVersion},
};

}  // namespace

std::span<const BridgeFunction> BridgeFunctions() {
  return kBridgeFunctions;
}

void BindBridge(platform::WebWindow& window) {
  for (const BridgeFunction& function : BridgeFunctions())
    window.Bind(function.name, function.operation);
}

}  // namespace launcher
