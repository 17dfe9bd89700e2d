// The update operations the page calls. Each takes the request text (the JSON array of the
// page's arguments) and returns a complete JSON text.
#pragma once

#include <string>

std::string API_GetUpdateStatus(const std::string& request);
std::string API_CheckUpdate(const std::string& request);
std::string API_FixClient(const std::string& request);
std::string API_CancelUpdate(const std::string& request);
std::string API_CheckLauncherUpdate(const std::string& request);
std::string API_ApplyLauncherUpdate(const std::string& request);
